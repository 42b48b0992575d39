#include "storage/key_rows.h"

#include <algorithm>
#include <cstring>

#include "io/coding.h"
#include "io/compare_bytes.h"

namespace engine {

KeyRows::KeyRows(const uint8_t* keys, size_t width, uint32_t rows, const std::vector<BlockEntry>& blocks)
    : keys_(keys), width_(width), rows_(rows) {
  ascending_ = width == 4 ? KeysAscend<4>() : width == 2 ? KeysAscend<2>() : width == 8 ? KeysAscend<8>() : KeysAscend<0>();
  if (ascending_) {
    for (const BlockEntry& e : blocks) {
      if (e.block >= spans_.size()) spans_.resize(size_t{e.block} + 1);
      const bool inRows = e.count > 0 && e.firstRow + e.count <= rows_;
      spans_[e.block] = inRows ? Span{e.firstRow, e.count} : Span{};
    }
    return;
  }
  size_t cap = 16;
  while (cap < 2 * static_cast<size_t>(rows)) cap *= 2;
  mask_ = cap - 1;
  slots_.assign(cap, 0);
  for (uint32_t r = 0; r < rows; ++r) {
    size_t s = Slot(Key(r));
    while (slots_[s] != 0) s = (s + 1) & mask_;
    slots_[s] = r + 1;
  }
}

size_t KeyRows::Slot(const uint8_t* key) const { return coding::Fnv1a64(key, width_) & mask_; }

template <size_t kWidth>
int KeyRows::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  return CompareBytes(a, b, kWidth != 0 ? kWidth : width_);
}

template <size_t kWidth>
bool KeyRows::KeysAscend() const {
  for (uint32_t r = 1; r < rows_; ++r)
    if (CompareKeys<kWidth>(Key(r - 1), Key(r)) >= 0) return false;
  return true;
}

template <size_t kWidth>
int64_t KeyRows::Search(const uint8_t* key, uint32_t first, uint32_t end) const {
  if (first >= end) return -1;
  // The last row whose key is not above `key`, found without a branch per step (a conditional
  // move): each step's direction is a coin toss the processor would mispredict half the time.
  uint32_t base = first;
  for (uint32_t n = end - first; n > 1;) {
    const uint32_t half = n / 2;
    base = CompareKeys<kWidth>(Key(base + half), key) <= 0 ? base + half : base;
    n -= half;
  }
  return CompareKeys<kWidth>(Key(base), key) == 0 ? static_cast<int64_t>(base) : -1;
}

template <size_t kWidth>
int64_t KeyRows::SearchFrom(const uint8_t* key, Span span) const {
  if (span.count > 0) {
    const int64_t row = Search<kWidth>(key, span.firstRow, span.firstRow + span.count);
    if (row >= 0) return row;
  }
  return Search<kWidth>(key, 0, rows_);
}

int64_t KeyRows::Find(const uint8_t* key, uint16_t block) const {
  if (ascending_) return SearchFrom(key, SpanOf(block));
  size_t slot = Slot(key);
  while (slots_[slot] != 0) {
    const uint32_t r = slots_[slot] - 1;
    if (std::memcmp(Key(r), key, width_) == 0) return r;
    slot = (slot + 1) & mask_;
  }
  return -1;
}

uint32_t KeyRows::Confirm(const uint8_t* entry, int64_t row, const uint8_t* rowBytes, size_t sameBytes) {
  if (row < 0 || CompareBytes(entry, rowBytes + static_cast<size_t>(row) * sameBytes, sameBytes) != 0) return kNoRow;
  return static_cast<uint32_t>(row);
}

void KeyRows::MatchAll(const uint8_t* entries, const uint16_t* blocks, size_t n, const uint8_t* rowBytes,
                       size_t sameBytes, uint32_t* rowOf, const SplitLoop& split) const {
  if (!ascending_)
    MatchByHash(entries, n, rowBytes, sameBytes, rowOf, split);
  else if (width_ == 4)
    MatchBySearch<4>(entries, blocks, n, rowBytes, sameBytes, rowOf, split);
  else if (width_ == 2)
    MatchBySearch<2>(entries, blocks, n, rowBytes, sameBytes, rowOf, split);
  else if (width_ == 8)
    MatchBySearch<8>(entries, blocks, n, rowBytes, sameBytes, rowOf, split);
  else
    MatchBySearch<0>(entries, blocks, n, rowBytes, sameBytes, rowOf, split);
}

template <size_t kWidth>
void KeyRows::MatchBySearch(const uint8_t* entries, const uint16_t* blocks, size_t n, const uint8_t* rowBytes,
                            size_t sameBytes, uint32_t* rowOf, const SplitLoop& split) const {
  // The entries are taken in their order, a batch at a time: the keys of the block an entry
  // names lie at a random place and are fetched far enough ahead that their reads overlap;
  // so are the bytes of the rows the batch found, before they are compared with the entries.
  constexpr size_t kLookAhead = 16;
  constexpr size_t kBatch = 32;
  constexpr size_t kCacheLine = 64;
  const size_t stride = sameBytes + width_;
  const auto match = [&](size_t begin, size_t end) {
    int64_t found[kBatch];
    for (size_t batch = begin; batch < end; batch += kBatch) {
      const size_t batchEnd = std::min(end, batch + kBatch);
      for (size_t j = batch; j < batchEnd; ++j) {
        if (j + kLookAhead < end) {
          const Span ahead = SpanOf(blocks[j + kLookAhead]);
          const uint8_t* keys = Key(ahead.firstRow);
          const uint8_t* keysEnd = keys + size_t{ahead.count} * width_;
          for (const uint8_t* line = keys; line < keysEnd; line += kCacheLine) __builtin_prefetch(line);
          if (ahead.count > 0) __builtin_prefetch(keysEnd - 1);
        }
        const int64_t row = SearchFrom<kWidth>(entries + j * stride + sameBytes, SpanOf(blocks[j]));
        found[j - batch] = row;
        if (row >= 0 && sameBytes > 0) {
          const uint8_t* bytes = rowBytes + static_cast<size_t>(row) * sameBytes;
          __builtin_prefetch(bytes);
          __builtin_prefetch(bytes + sameBytes - 1);
        }
      }
      for (size_t j = batch; j < batchEnd; ++j)
        rowOf[j] = Confirm(entries + j * stride, found[j - batch], rowBytes, sameBytes);
    }
  };
  if (split)
    split(n, match);
  else
    match(0, n);
}

void KeyRows::MatchByHash(const uint8_t* entries, size_t n, const uint8_t* rowBytes, size_t sameBytes,
                          uint32_t* rowOf, const SplitLoop& split) const {
  // Each entry's hash slot is fetched into the cache a few entries before it is looked up:
  // the lookups at random places overlap.
  constexpr size_t kLookAhead = 8;
  const size_t stride = sameBytes + width_;
  const auto match = [&](size_t begin, size_t end) {
    for (size_t j = begin; j < end; ++j) {
      if (j + kLookAhead < end) __builtin_prefetch(&slots_[Slot(entries + (j + kLookAhead) * stride + sameBytes)]);
      const uint8_t* entry = entries + j * stride;
      rowOf[j] = Confirm(entry, Find(entry + sameBytes, 0), rowBytes, sameBytes);
    }
  };
  if (split)
    split(n, match);
  else
    match(0, n);
}

}  // namespace engine
