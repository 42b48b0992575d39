#include "storage/key_rows.h"

#include <cstring>

#include "io/coding.h"
#include "io/compare_bytes.h"

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

int64_t KeyRows::Search(const uint8_t* key, uint32_t first, uint32_t end) const {
  while (first < end) {
    const uint32_t mid = first + (end - first) / 2;
    const int c = CompareBytes(Key(mid), key, width_);
    if (c == 0) return mid;
    if (c < 0)
      first = mid + 1;
    else
      end = mid;
  }
  return -1;
}

int64_t KeyRows::SearchFrom(const uint8_t* key, Span span) const {
  if (span.count > 0) {
    const int64_t row = Search(key, span.firstRow, span.firstRow + span.count);
    if (row >= 0) return row;
  }
  return Search(key, 0, rows_);
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

uint32_t KeyRows::Match(const uint8_t* entry, uint16_t block, size_t sameBytes) const {
  const int64_t row = Find(entry + offset_, block);
  if (row < 0 || std::memcmp(entry, data_ + static_cast<size_t>(row) * stride_, sameBytes) != 0) return kNoRow;
  return static_cast<uint32_t>(row);
}

void KeyRows::Prefetch(const uint8_t* entry, uint16_t block) const {
  if (!ascending_) {
    __builtin_prefetch(&slots_[Slot(entry + offset_)]);
    return;
  }
  // Only the rows a search of the block reads first: its middle and the middles of its halves.
  // Fetching the whole block for every entry moved more memory than the matching could use.
  const Span span = SpanOf(block);
  if (span.count == 0) return;
  const uint32_t half = span.count / 2;
  for (const uint32_t r : {half, half / 2, half + 1 + (span.count - half - 1) / 2})
    if (r < span.count) __builtin_prefetch(Key(span.firstRow + r));
}

}  // namespace engine
