#include "storage/key_rows.h"

#include <cstring>

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

// Keys of up to 8 bytes compare as one big-endian number.
constexpr size_t kNumberBytes = 8;

uint64_t BigEndian(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

}  // namespace

KeyRows::KeyRows(const uint8_t* data, size_t stride, size_t offset, size_t width, uint32_t rows,
                 const std::vector<BlockEntry>& blocks)
    : data_(data), stride_(stride), offset_(offset), width_(width), rows_(rows), blocks_(blocks) {
  for (uint32_t r = 1; r < rows && ascending_; ++r) ascending_ = Compare(Key(r - 1), Key(r)) < 0;
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

const BlockEntry* KeyRows::EntryOf(uint16_t block) const {
  if (block >= entryOf_.size() || entryOf_[block] == 0) return nullptr;
  const BlockEntry& e = blocks_[entryOf_[block] - 1];
  return e.count > 0 && e.firstRow + e.count <= rows_ ? &e : nullptr;
}

void KeyRows::Prefetch(const uint8_t* key, uint16_t block) const {
  if (!ascending_) {
    const size_t slot = Slot(key);
    __builtin_prefetch(&slots_[slot]);
    if (slots_[slot] != 0) __builtin_prefetch(Key(slots_[slot] - 1));
    return;
  }
  const BlockEntry* e = EntryOf(block);
  if (!e) return;
  __builtin_prefetch(Key(e->firstRow + e->count / 2));
}

int KeyRows::Compare(const uint8_t* a, const uint8_t* b) const {
  if (width_ > kNumberBytes) return std::memcmp(a, b, width_);
  const uint64_t x = BigEndian(a, width_), y = BigEndian(b, width_);
  return x < y ? -1 : x > y ? 1 : 0;
}

int64_t KeyRows::Search(const uint8_t* key, uint32_t first, uint32_t end) const {
  while (first < end) {
    const uint32_t mid = first + (end - first) / 2;
    const int c = Compare(Key(mid), key);
    if (c == 0) return mid;
    if (c < 0)
      first = mid + 1;
    else
      end = mid;
  }
  return -1;
}

int64_t KeyRows::Find(const uint8_t* key, uint16_t block) const {
  if (ascending_) {
    if (const BlockEntry* e = EntryOf(block)) {
      const int64_t row = Search(key, e->firstRow, e->firstRow + e->count);
      if (row >= 0) return row;
    }
    return Search(key, 0, rows_);
  }
  size_t slot = Slot(key);
  while (slots_[slot] != 0) {
    const uint32_t r = slots_[slot] - 1;
    if (std::memcmp(Key(r), key, width_) == 0) return r;
    slot = (slot + 1) & mask_;
  }
  return -1;
}

}  // namespace engine
