#include "storage/key_rows.h"

#include <cstring>
#include <memory>

#include "io/compare_bytes.h"

namespace engine {

namespace {

uint64_t HashBytes(const uint8_t* p, size_t n) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 0x100000001b3ull;
  }
  return h;
}

// How many entries ahead a hash lookup is prefetched.
constexpr size_t kLookAhead = 16;

}  // namespace

KeyRows::KeyRows(const uint8_t* data, size_t stride, size_t offset, size_t width, uint32_t rows,
                 const std::vector<BlockEntry>& blocks)
    : data_(data), stride_(stride), offset_(offset), width_(width), rows_(rows), blocks_(blocks) {
  for (uint32_t r = 1; r < rows && ascending_; ++r) ascending_ = CompareBytes(Key(r - 1), Key(r), width) < 0;
  if (ascending_) {
    for (size_t i = 0; i < blocks.size(); ++i) {
      if (blocks[i].block >= entryOf_.size()) entryOf_.resize(size_t{blocks[i].block} + 1, 0);
      entryOf_[blocks[i].block] = static_cast<uint32_t>(i + 1);
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

size_t KeyRows::Slot(const uint8_t* key) const { return HashBytes(key, width_) & mask_; }

int64_t KeyRows::EntryOf(uint16_t block) const {
  if (block >= entryOf_.size() || entryOf_[block] == 0) return -1;
  const size_t i = entryOf_[block] - 1;
  const BlockEntry& e = blocks_[i];
  return e.count > 0 && e.firstRow + e.count <= rows_ ? static_cast<int64_t>(i) : -1;
}

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

int64_t KeyRows::SearchFrom(const uint8_t* key, int64_t entry) const {
  if (entry >= 0) {
    const BlockEntry& e = blocks_[static_cast<size_t>(entry)];
    const int64_t row = Search(key, e.firstRow, e.firstRow + e.count);
    if (row >= 0) return row;
  }
  return Search(key, 0, rows_);
}

int64_t KeyRows::Find(const uint8_t* key, uint16_t block) const {
  if (ascending_) return SearchFrom(key, EntryOf(block));
  size_t slot = Slot(key);
  while (slots_[slot] != 0) {
    const uint32_t r = slots_[slot] - 1;
    if (std::memcmp(Key(r), key, width_) == 0) return r;
    slot = (slot + 1) & mask_;
  }
  return -1;
}

std::vector<uint32_t> KeyRows::Match(const uint8_t* entries, const uint16_t* blocks, size_t n,
                                     size_t sameBytes) const {
  std::vector<uint32_t> rowOf(n, kNoRow);
  auto settle = [&](const uint8_t* entry, int64_t row, size_t j) {
    if (row >= 0 && std::memcmp(entry, data_ + static_cast<size_t>(row) * stride_, sameBytes) == 0)
      rowOf[j] = static_cast<uint32_t>(row);
  };
  if (!ascending_) {
    for (size_t j = 0; j < n; ++j) {
      if (j + kLookAhead < n) __builtin_prefetch(&slots_[Slot(entries + (j + kLookAhead) * stride_ + offset_)]);
      const uint8_t* entry = entries + j * stride_;
      settle(entry, Find(entry + offset_, blocks[j]), j);
    }
    return rowOf;
  }
  // The entries are copied, each with its number, into the order of their block in blocks_ (a
  // counting sort; those naming no block of the chain first): the copying writes at random,
  // which the processor overlaps, where looking the entries up in file order would wait for
  // each read at random. Then each block's rows are searched for its entries.
  std::vector<uint16_t> bucket(n);
  std::vector<uint32_t> begin(blocks_.size() + 2, 0);  // bucket b: sorted entries [begin[b], begin[b + 1])
  for (size_t j = 0; j < n; ++j) {
    bucket[j] = static_cast<uint16_t>(EntryOf(blocks[j]) + 1);
    ++begin[size_t{bucket[j]} + 1];
  }
  for (size_t b = 1; b < begin.size(); ++b) begin[b] += begin[b - 1];
  const size_t bytes = stride_ + sizeof(uint32_t);
  const std::unique_ptr<uint8_t[]> sorted(new uint8_t[n * bytes]);
  std::vector<uint32_t> fill(begin.begin(), begin.end() - 1);
  for (size_t j = 0; j < n; ++j) {
    uint8_t* out = sorted.get() + size_t{fill[bucket[j]]++} * bytes;
    std::memcpy(out, entries + j * stride_, stride_);
    const auto number = static_cast<uint32_t>(j);
    std::memcpy(out + stride_, &number, sizeof number);
  }
  for (size_t b = 0; b + 1 < begin.size(); ++b) {
    for (size_t k = begin[b]; k < begin[b + 1]; ++k) {
      const uint8_t* entry = sorted.get() + k * bytes;
      uint32_t j = 0;
      std::memcpy(&j, entry + stride_, sizeof j);
      settle(entry, SearchFrom(entry + offset_, static_cast<int64_t>(b) - 1), j);
    }
  }
  return rowOf;
}

}  // namespace engine
