#pragma once
// Finds a table's rows by their primary-key bytes, for the entries of a maintained secondary
// index, which end in the number of the data block holding their record. When the rows' keys
// ascend strictly in byte order (the usual keyed table: no two rows share a key), an entry's row
// is searched in the block the entry names and, should it not be there, in all rows; both are
// binary searches. Otherwise an open-addressing hash over the keys finds it. Either way the
// answer is the first row (in chain order) with the key, or none.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/data_file.h"

namespace engine {

class KeyRows {
 public:
  static constexpr uint32_t kNoRow = UINT32_MAX;

  // Row r's key is the `width` bytes at data + r * stride + offset; `blocks` are the rows' data
  // blocks in chain order (DataFile::Blocks), covering rows 0..rows-1. `data` and `blocks` must
  // outlive this object.
  KeyRows(const uint8_t* data, size_t stride, size_t offset, size_t width, uint32_t rows,
          const std::vector<BlockEntry>& blocks);

  // The first row whose key bytes are `key`, or -1; `block` is where the row is expected.
  int64_t Find(const uint8_t* key, uint16_t block) const;

  // For an entry laid out as the rows (the key at `offset`), expected in data block `block`:
  // the row Find gives when that row's first `sameBytes` bytes equal the entry's, else kNoRow.
  uint32_t Match(const uint8_t* entry, uint16_t block, size_t sameBytes) const;

  // Asks the processor to fetch what a Match of `entry` and `block` a little later reads (the
  // rows of the block, or the entry's hash slot) into its cache: lookups at random places then
  // overlap instead of each waiting for its read. Only the entry's key bytes need be there.
  void Prefetch(const uint8_t* entry, uint16_t block) const;

 private:
  const uint8_t* Key(uint32_t r) const { return data_ + static_cast<size_t>(r) * stride_ + offset_; }
  size_t Slot(const uint8_t* key) const;
  // Row with `key` among rows [first, end) of ascending keys, or -1.
  int64_t Search(const uint8_t* key, uint32_t first, uint32_t end) const;
  // Row with `key` among ascending keys: searched in the rows of blocks_[entry] first (none when
  // entry is -1), then in all rows; -1 when no row has it.
  int64_t SearchFrom(const uint8_t* key, int64_t entry) const;
  // Index in blocks_ of a block number's entry with rows, -1 when the chain does not hold it.
  int64_t EntryOf(uint16_t block) const;

  const uint8_t* data_;
  size_t stride_, offset_, width_;
  uint32_t rows_;
  const std::vector<BlockEntry>& blocks_;
  bool ascending_ = true;
  std::vector<uint32_t> entryOf_;  // block number -> index in blocks_ + 1, 0: not in the chain
  size_t mask_ = 0;
  std::vector<uint32_t> slots_;  // hash slots: row + 1, 0: empty (only when keys do not ascend)
};

}  // namespace engine
