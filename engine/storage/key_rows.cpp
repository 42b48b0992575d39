#include "storage/key_rows.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "io/coding.h"
#include "io/compare_bytes.h"
#include "io/large_buffer.h"

namespace engine {

KeyRows::KeyRows(const uint8_t* data, size_t stride, size_t offset, size_t width, uint32_t rows,
                 const std::vector<BlockEntry>& blocks)
    : data_(data), stride_(stride), offset_(offset), width_(width), rows_(rows) {
  for (uint32_t r = 1; r < rows && ascending_; ++r) ascending_ = CompareBytes(Key(r - 1), Key(r), width) < 0;
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

uint32_t KeyRows::Confirm(const uint8_t* entry, int64_t row, size_t sameBytes) const {
  if (row < 0 || CompareBytes(entry, data_ + static_cast<size_t>(row) * stride_, sameBytes) != 0) return kNoRow;
  return static_cast<uint32_t>(row);
}

void KeyRows::MatchAll(const uint8_t* entries, const uint16_t* blocks, size_t n, size_t sameBytes, uint32_t* rowOf,
                       const SplitLoop& split) const {
  if (!ascending_)
    MatchByHash(entries, n, sameBytes, rowOf, split);
  else if (width_ == 4)
    MatchByBlock<4>(entries, blocks, n, sameBytes, rowOf, split);
  else if (width_ == 2)
    MatchByBlock<2>(entries, blocks, n, sameBytes, rowOf, split);
  else if (width_ == 8)
    MatchByBlock<8>(entries, blocks, n, sameBytes, rowOf, split);
  else
    MatchByBlock<0>(entries, blocks, n, sameBytes, rowOf, split);
}

template <size_t kWidth>
void KeyRows::MatchByBlock(const uint8_t* entries, const uint16_t* blocks, size_t n, size_t sameBytes,
                           uint32_t* rowOf, const SplitLoop& split) const {
  // The entries grouped by the block they name (a counting sort); those naming no block of the
  // chain form the last group, searched in all rows.
  const size_t outside = spans_.size();
  const auto groupOf = [&](uint16_t block) { return SpanOf(block).count > 0 ? size_t{block} : outside; };
  std::vector<uint32_t> starts(outside + 2, 0);  // starts[g]: place of group g's first entry
  for (size_t j = 0; j < n; ++j) ++starts[groupOf(blocks[j]) + 1];
  std::partial_sum(starts.begin(), starts.end(), starts.begin());
  LargeArray<uint32_t> byBlock(n);  // entry numbers, group after group
  {
    std::vector<uint32_t> next(starts.begin(), starts.end() - 1);
    for (size_t j = 0; j < n; ++j) byBlock[next[groupOf(blocks[j])]++] = static_cast<uint32_t>(j);
  }
  // The entries lie at random places: fetched far enough ahead that their reads overlap.
  constexpr size_t kLookAhead = 48;
  const auto match = [&](size_t begin, size_t end) {
    size_t group = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), begin) - starts.begin()) - 1;
    for (size_t k = begin; k < end; ++k) {
      while (starts[group + 1] <= k) ++group;
      if (k + kLookAhead < end) {
        const uint8_t* ahead = entries + size_t{byBlock[k + kLookAhead]} * stride_;
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + stride_ - 1);
      }
      const uint32_t j = byBlock[k];
      const uint8_t* entry = entries + size_t{j} * stride_;
      rowOf[j] =
          Confirm(entry, SearchFrom<kWidth>(entry + offset_, group < outside ? spans_[group] : Span{}), sameBytes);
    }
  };
  if (split)
    split(n, match);
  else
    match(0, n);
}

void KeyRows::MatchByHash(const uint8_t* entries, size_t n, size_t sameBytes, uint32_t* rowOf,
                          const SplitLoop& split) const {
  // Each entry's hash slot is fetched into the cache a few entries before it is looked up:
  // the lookups at random places overlap.
  constexpr size_t kLookAhead = 8;
  const auto match = [&](size_t begin, size_t end) {
    for (size_t j = begin; j < end; ++j) {
      if (j + kLookAhead < end) __builtin_prefetch(&slots_[Slot(entries + (j + kLookAhead) * stride_ + offset_)]);
      const uint8_t* entry = entries + j * stride_;
      rowOf[j] = Confirm(entry, Find(entry + offset_, 0), sameBytes);
    }
  };
  if (split)
    split(n, match);
  else
    match(0, n);
}

}  // namespace engine
