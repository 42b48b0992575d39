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
#include "storage/split_loop.h"

namespace engine {

class KeyRows {
 public:
  static constexpr uint32_t kNoRow = UINT32_MAX;

  // Row r's key is the `width` bytes at keys + r * width; `blocks` are the rows' data blocks in
  // chain order (DataFile::Blocks), covering rows 0..rows-1. `keys` must outlive this object.
  KeyRows(const uint8_t* keys, size_t width, uint32_t rows, const std::vector<BlockEntry>& blocks);

  // The first row whose key bytes are `key`, or -1; `block` is where the row is expected.
  int64_t Find(const uint8_t* key, uint16_t block) const;

  // Matches `n` entries from `entries`, each `sameBytes` bytes followed by a key, entry j
  // expected in data block blocks[j]: rowOf[j] is the row r Find gives when the entry's first
  // bytes equal the `sameBytes` bytes at rowBytes + r * sameBytes, else kNoRow. The entries are taken
  // through `split` (may be empty), in their order; with ascending keys the keys of the block
  // an entry names and then the bytes of the row found, the only reads at random places, are
  // fetched a few entries ahead.
  void MatchAll(const uint8_t* entries, const uint16_t* blocks, size_t n, const uint8_t* rowBytes, size_t sameBytes,
                uint32_t* rowOf, const SplitLoop& split) const;

 private:
  const uint8_t* Key(uint32_t r) const { return keys_ + static_cast<size_t>(r) * width_; }
  size_t Slot(const uint8_t* key) const;
  // The order of two keys; kWidth is the keys' width when known at compile time (the common
  // widths of integer and date keys, compared as one number), else 0.
  template <size_t kWidth>
  int CompareKeys(const uint8_t* a, const uint8_t* b) const;
  // Row with `key` among rows [first, end) of ascending keys, or -1.
  template <size_t kWidth = 0>
  int64_t Search(const uint8_t* key, uint32_t first, uint32_t end) const;
  // The rows of a block of the chain.
  struct Span {
    uint32_t firstRow = 0;
    uint32_t count = 0;  // 0: the block holds no rows here, or is not in the chain
  };
  // Row with `key` among ascending keys: searched in the rows of `span` first, then in all rows;
  // -1 when no row has it.
  template <size_t kWidth = 0>
  int64_t SearchFrom(const uint8_t* key, Span span) const;
  Span SpanOf(uint16_t block) const { return block < spans_.size() ? spans_[block] : Span{}; }
  // `row` when its `sameBytes` bytes at `rowBytes` equal the entry's first, else kNoRow.
  static uint32_t Confirm(const uint8_t* entry, int64_t row, const uint8_t* rowBytes, size_t sameBytes);
  // Whether every row's key is above the one before.
  template <size_t kWidth>
  bool KeysAscend() const;
  template <size_t kWidth>
  void MatchBySearch(const uint8_t* entries, const uint16_t* blocks, size_t n, const uint8_t* rowBytes,
                     size_t sameBytes, uint32_t* rowOf, const SplitLoop& split) const;
  void MatchByHash(const uint8_t* entries, size_t n, const uint8_t* rowBytes, size_t sameBytes, uint32_t* rowOf,
                   const SplitLoop& split) const;

  const uint8_t* keys_;
  size_t width_;
  uint32_t rows_;
  bool ascending_ = true;
  std::vector<Span> spans_;  // by block number
  size_t mask_ = 0;
  std::vector<uint32_t> slots_;  // hash slots: row + 1, 0: empty (only when keys do not ascend)
};

}  // namespace engine
