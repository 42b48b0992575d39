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
  // blocks in chain order (DataFile::Blocks), covering rows 0..rows-1. `data` must outlive this
  // object.
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
  // Asks for what a Prefetch of an entry naming `block` reads first: call it a few entries
  // before that Prefetch.
  void PrefetchBlock(uint16_t block) const {
    if (block < spans_.size()) __builtin_prefetch(&spans_[block]);
  }

 private:
  const uint8_t* Key(uint32_t r) const { return data_ + static_cast<size_t>(r) * stride_ + offset_; }
  size_t Slot(const uint8_t* key) const;
  // Row with `key` among rows [first, end) of ascending keys, or -1.
  int64_t Search(const uint8_t* key, uint32_t first, uint32_t end) const;
  // The rows of a block of the chain.
  struct Span {
    uint32_t firstRow = 0;
    uint32_t count = 0;  // 0: the block holds no rows here, or is not in the chain
  };
  // Row with `key` among ascending keys: searched in the rows of `span` first, then in all rows;
  // -1 when no row has it.
  int64_t SearchFrom(const uint8_t* key, Span span) const;
  Span SpanOf(uint16_t block) const { return block < spans_.size() ? spans_[block] : Span{}; }

  const uint8_t* data_;
  size_t stride_, offset_, width_;
  uint32_t rows_;
  bool ascending_ = true;
  std::vector<Span> spans_;  // by block number
  size_t mask_ = 0;
  std::vector<uint32_t> slots_;  // hash slots: row + 1, 0: empty (only when keys do not ascend)
};

}  // namespace engine
