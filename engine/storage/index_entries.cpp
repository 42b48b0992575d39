#include "storage/index_entries.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "format/index_block.h"

namespace engine {

namespace {

// Ranges this short are sorted by insertion: fewer moves than another pass over 256 buckets.
constexpr size_t kInsertionRange = 32;
// Ranges this long are counted in four tallies at once; shorter ones in one.
constexpr size_t kSplitTally = 4096;

uint8_t* Grow(uint8_t* data, size_t bytes) {
  auto* grown = static_cast<uint8_t*>(std::realloc(data, bytes));
  if (!grown) throw std::bad_alloc();
  return grown;
}

}  // namespace

std::array<size_t, 256> SecondaryEntries::Histogram(const uint8_t* column, size_t begin, size_t end) const {
  std::array<size_t, 256> counts{};
  if (end - begin < kSplitTally) {
    for (size_t i = begin; i < end; ++i) ++counts[column[i * recordSize_]];
    return counts;
  }
  // Four tallies side by side, so that runs of one value do not wait on their own increments.
  std::array<std::array<size_t, 256>, 4> part{};
  size_t i = begin;
  for (; i + 4 <= end; i += 4) {
    ++part[0][column[i * recordSize_]];
    ++part[1][column[(i + 1) * recordSize_]];
    ++part[2][column[(i + 2) * recordSize_]];
    ++part[3][column[(i + 3) * recordSize_]];
  }
  for (; i < end; ++i) ++part[0][column[i * recordSize_]];
  for (unsigned v = 0; v < 256; ++v) counts[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
  return counts;
}

// Records [begin, end) agree on every sort byte before byte `at` of part `part`.
struct SecondaryEntries::Range {
  size_t begin;
  size_t end;
  size_t part;
  size_t at;
};

SecondaryEntries::SecondaryEntries(const TableDefinition& def, const SecondaryDef& index, uint16_t recordSize)
    : def_(def), layout_(def, index), recordSize_(recordSize) {
  size_t offset = 0;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const FieldInfo& f = def.fields[static_cast<size_t>(index.fields[i])];
    parts_.push_back({offset, f.RecordBytes(), f.type == PxType::Alpha, index.descending[i]});
    offset += f.RecordBytes();
  }
  fieldParts_ = parts_.size();
  keyOffset_ = offset;
  if (IsMaintained(def, index))
    parts_.push_back({offset, def.KeyBytes(), false, false});
  else  // the record number from 1 orders as the number from 0 does
    parts_.push_back({offset + idx::kTupleNumber, idx::kLongBytes, false, false});
}

SecondaryEntries::~SecondaryEntries() { std::free(data_); }

SecondaryEntries::SecondaryEntries(SecondaryEntries&& other) noexcept
    : def_(other.def_),
      layout_(std::move(other.layout_)),
      recordSize_(other.recordSize_),
      keyOffset_(other.keyOffset_),
      parts_(std::move(other.parts_)),
      fieldParts_(other.fieldParts_),
      data_(std::exchange(other.data_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

void SecondaryEntries::Clear() {
  std::free(std::exchange(data_, nullptr));
  count_ = 0;
  capacity_ = 0;
}

void SecondaryEntries::Add(const uint8_t* record, uint16_t block, int slot, uint32_t recordNumber) {
  if (count_ == capacity_) {
    // Growing in place where the allocator can, so that the buffer is never held twice.
    const size_t capacity = capacity_ < 4096 ? 4096 : capacity_ + capacity_ / 2;
    data_ = Grow(data_, capacity * recordSize_);
    capacity_ = capacity;
  }
  uint8_t* out = Record(count_);
  std::memset(out, 0, recordSize_);
  layout_.Encode(record, block, slot, recordNumber, out);
  ++count_;
}

int SecondaryEntries::Compare(const uint8_t* a, const uint8_t* b, size_t first, size_t parts) const {
  for (size_t p = first; p < parts; ++p) {
    const Part& part = parts_[p];
    const uint8_t* x = a + part.offset;
    const uint8_t* y = b + part.offset;
    int order = 0;
    if (part.alpha) {
      for (size_t k = 0; k < part.bytes; ++k) {
        if (x[k] != y[k]) {
          order = x[k] < y[k] ? -1 : 1;
          break;
        }
        if (x[k] == 0) break;
      }
    } else {
      order = std::memcmp(x, y, part.bytes);
    }
    if (order != 0) return part.descending ? -order : order;
  }
  return 0;
}

void SecondaryEntries::Swap(size_t a, size_t b) {
  uint8_t* x = Record(a);
  uint8_t* y = Record(b);
  size_t k = 0;
  for (; k + sizeof(uint64_t) <= recordSize_; k += sizeof(uint64_t)) {
    uint64_t u, v;
    std::memcpy(&u, x + k, sizeof u);
    std::memcpy(&v, y + k, sizeof v);
    std::memcpy(x + k, &v, sizeof v);
    std::memcpy(y + k, &u, sizeof u);
  }
  for (; k < recordSize_; ++k) std::swap(x[k], y[k]);
}

void SecondaryEntries::InsertionSort(size_t begin, size_t end, size_t first) {
  for (size_t i = begin + 1; i < end; ++i)
    for (size_t j = i; j > begin && Compare(Record(j - 1), Record(j), first, parts_.size()) > 0; --j) Swap(j - 1, j);
}

void SecondaryEntries::SortByByte(const Range& range, std::vector<Range>& todo) {
  Range r = range;
  // The position after byte `at` of part `part` for records whose byte there is `raw`: an alpha
  // value that ended there sorts as zeros up to the field's end.
  const auto after = [this](size_t part, size_t at, unsigned raw) {
    const Part& p = parts_[part];
    if ((p.alpha && raw == 0) || at + 1 >= p.bytes) {
      ++part;
      while (part < parts_.size() && parts_[part].bytes == 0) ++part;
      return std::pair<size_t, size_t>{part, 0};
    }
    return std::pair<size_t, size_t>{part, at + 1};
  };
  while (true) {
    if (r.end - r.begin <= kInsertionRange) {
      InsertionSort(r.begin, r.end, std::min(r.part, parts_.size()));
      return;
    }
    if (r.part >= parts_.size()) return;  // equal in every sort byte
    const Part& part = parts_[r.part];
    const uint8_t* column = data_ + part.offset + r.at;  // the byte sorted by, of record 0
    const auto byteOf = [column, this](size_t i) { return column[i * recordSize_]; };
    const uint8_t first = byteOf(r.begin);
    size_t differs = r.begin + 1;
    while (differs < r.end && byteOf(differs) == first) ++differs;
    if (differs == r.end) {
      // One value for all: nothing moves at this byte.
      std::tie(r.part, r.at) = after(r.part, r.at, first);
      continue;
    }
    const std::array<size_t, 256> counts = Histogram(column, r.begin, r.end);
    // Buckets by raw byte, laid out in ascending or, for a descending field, reversed order.
    std::array<size_t, 256> next;
    std::array<size_t, 256> ends;
    size_t start = r.begin;
    for (unsigned k = 0; k < 256; ++k) {
      const unsigned v = part.descending ? 255 - k : k;
      next[v] = start;
      start += counts[v];
      ends[v] = start;
    }
    for (unsigned v = 0; v < 256; ++v) {
      while (next[v] < ends[v]) {
        const uint8_t belongs = byteOf(next[v]);
        if (belongs == v)
          ++next[v];
        else
          Swap(next[v], next[belongs]++);
      }
    }
    for (unsigned v = 0; v < 256; ++v) {
      if (counts[v] < 2) continue;
      const auto [nextPart, nextAt] = after(r.part, r.at, v);
      todo.push_back({ends[v] - counts[v], ends[v], nextPart, nextAt});
    }
    return;
  }
}

bool SecondaryEntries::Sort(bool unique) {
  size_t first = 0;
  while (first < parts_.size() && parts_[first].bytes == 0) ++first;
  std::vector<Range> todo{{0, count_, first, 0}};
  while (!todo.empty()) {
    const Range r = todo.back();
    todo.pop_back();
    SortByByte(r, todo);
  }
  if (unique)
    for (size_t i = 1; i < count_; ++i)
      if (Compare(Record(i - 1), Record(i), 0, fieldParts_) == 0) return false;
  return true;
}

bool SecondaryEntries::KeepOrder(const std::vector<std::string>& keys) {
  const size_t keyBytes = def_.KeyBytes();
  if (keys.empty() || keys.size() != count_ || keyBytes == 0) return false;
  std::unordered_map<std::string_view, size_t> byKey;
  byKey.reserve(count_);
  for (size_t i = 0; i < count_; ++i)
    if (!byKey.emplace(std::string_view(reinterpret_cast<const char*>(At(i)) + keyOffset_, keyBytes), i).second)
      return false;
  auto* ordered = static_cast<uint8_t*>(std::malloc(count_ * recordSize_));
  if (!ordered) throw std::bad_alloc();
  uint8_t* out = ordered;
  for (const std::string& key : keys) {
    const auto it = byKey.find(key);
    if (it == byKey.end()) {
      std::free(ordered);
      return false;
    }
    std::memcpy(out, At(it->second), recordSize_);
    out += recordSize_;
    byKey.erase(it);
  }
  std::free(std::exchange(data_, ordered));
  capacity_ = count_;
  return true;
}

}  // namespace engine
