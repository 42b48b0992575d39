#include "storage/index_entries.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>
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
// Bytes of records a chunk holds unless told otherwise.
constexpr size_t kChunkBytes = size_t{1} << 20;

uint8_t* Allocate(size_t bytes) {
  auto* data = static_cast<uint8_t*>(std::malloc(bytes));
  if (!data) throw std::bad_alloc();
  return data;
}

}  // namespace

// How the X records of one index compare, and sorting a run of them in place. Shared by the
// threads that sort chunks; never changes.
class SecondaryEntries::Order {
 public:
  // A stretch of the X record compared as a unit: an index field or the tie breaker.
  struct Part {
    size_t offset;
    size_t bytes;
    bool alpha;
    bool descending;
  };
  // Index fields first, the tie breaker last.
  Order(std::vector<Part> parts, size_t recordSize)
      : parts_(std::move(parts)), fieldParts_(parts_.size() - 1), recordSize_(recordSize) {}

  // <0, 0, >0 as record a goes before, with or after record b.
  int Compare(const uint8_t* a, const uint8_t* b) const { return Compare(a, b, 0, parts_.size()); }
  // Whether two records have equal index values.
  bool SameValues(const uint8_t* a, const uint8_t* b) const { return Compare(a, b, 0, fieldParts_) == 0; }
  // Puts the `count` records at `data` into index order.
  void Sort(uint8_t* data, size_t count) const;

 private:
  // Records [begin, end) agree on every sort byte before byte `at` of part `part`.
  struct Range {
    size_t begin;
    size_t end;
    size_t part;
    size_t at;
  };
  // Over parts [first, parts).
  int Compare(const uint8_t* a, const uint8_t* b, size_t first, size_t parts) const;
  // Sorts records [begin, end), which agree on the parts before `first`.
  void InsertionSort(uint8_t* data, size_t begin, size_t end, size_t first) const;
  // How many of records [begin, end) have each value of the byte at `column` (record 0's).
  std::array<size_t, 256> Histogram(const uint8_t* column, size_t begin, size_t end) const;
  // Sorts [begin, end) by one byte position and hands out the buckets still to sort.
  void SortByByte(uint8_t* data, const Range& range, std::vector<Range>& todo) const;
  void Swap(uint8_t* data, size_t a, size_t b) const;

  std::vector<Part> parts_;
  size_t fieldParts_;  // parts_ that are index fields
  size_t recordSize_;
};

std::array<size_t, 256> SecondaryEntries::Order::Histogram(const uint8_t* column, size_t begin, size_t end) const {
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

int SecondaryEntries::Order::Compare(const uint8_t* a, const uint8_t* b, size_t first, size_t parts) const {
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

void SecondaryEntries::Order::Swap(uint8_t* data, size_t a, size_t b) const {
  uint8_t* x = data + a * recordSize_;
  uint8_t* y = data + b * recordSize_;
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

void SecondaryEntries::Order::InsertionSort(uint8_t* data, size_t begin, size_t end, size_t first) const {
  for (size_t i = begin + 1; i < end; ++i)
    for (size_t j = i; j > begin && Compare(data + (j - 1) * recordSize_, data + j * recordSize_, first, parts_.size()) > 0;
         --j)
      Swap(data, j - 1, j);
}

void SecondaryEntries::Order::SortByByte(uint8_t* data, const Range& range, std::vector<Range>& todo) const {
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
      InsertionSort(data, r.begin, r.end, std::min(r.part, parts_.size()));
      return;
    }
    if (r.part >= parts_.size()) return;  // equal in every sort byte
    const Part& part = parts_[r.part];
    const uint8_t* column = data + part.offset + r.at;  // the byte sorted by, of record 0
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
          Swap(data, next[v], next[belongs]++);
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

void SecondaryEntries::Order::Sort(uint8_t* data, size_t count) const {
  size_t first = 0;
  while (first < parts_.size() && parts_[first].bytes == 0) ++first;
  std::vector<Range> todo{{0, count, first, 0}};
  while (!todo.empty()) {
    const Range r = todo.back();
    todo.pop_back();
    SortByByte(data, r, todo);
  }
}

SecondaryEntries::SecondaryEntries(const TableDefinition& def, const SecondaryDef& index, uint16_t recordSize,
                                   size_t chunkRecords)
    : def_(def),
      layout_(def, index),
      recordSize_(recordSize),
      chunkRecords_(chunkRecords ? chunkRecords : std::max<size_t>(1, kChunkBytes / recordSize)) {
  std::vector<Order::Part> parts;
  size_t offset = 0;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const FieldInfo& f = def.fields[static_cast<size_t>(index.fields[i])];
    parts.push_back({offset, f.RecordBytes(), f.type == PxType::Alpha, index.descending[i]});
    offset += f.RecordBytes();
  }
  keyOffset_ = offset;
  if (IsMaintained(def, index))
    parts.push_back({offset, def.KeyBytes(), false, false});
  else  // the record number from 1 orders as the number from 0 does
    parts.push_back({offset + idx::kTupleNumber, idx::kLongBytes, false, false});
  order_ = std::make_shared<const Order>(std::move(parts), recordSize_);
}

SecondaryEntries::~SecondaryEntries() { FreeChunks(); }

SecondaryEntries::SecondaryEntries(SecondaryEntries&& other) noexcept
    : def_(other.def_),
      layout_(std::move(other.layout_)),
      recordSize_(other.recordSize_),
      chunkRecords_(other.chunkRecords_),
      keyOffset_(other.keyOffset_),
      order_(std::move(other.order_)),
      chunks_(std::move(other.chunks_)),
      count_(std::exchange(other.count_, 0)) {}

void SecondaryEntries::FreeChunks() {
  for (Chunk& c : chunks_) {
    if (c.sorted.valid()) c.sorted.wait();  // the thread still works on the memory
    std::free(c.data);
  }
  chunks_.clear();
}

void SecondaryEntries::Clear() {
  FreeChunks();
  count_ = 0;
}

void SecondaryEntries::SortInBackground(Chunk& chunk) {
  // One sort at a time: the chunk before is mostly done by now, and its thread's memory serves
  // the next.
  WaitForSorts();
  chunk.sorting = true;
  try {
    chunk.sorted = std::async(std::launch::async, [order = order_, data = chunk.data, count = chunk.count] {
      order->Sort(data, count);
    });
  } catch (const std::system_error&) {
    order_->Sort(chunk.data, chunk.count);
  }
}

void SecondaryEntries::Add(const uint8_t* record, uint16_t block, int slot, uint32_t recordNumber) {
  if (chunks_.empty() || chunks_.back().count == chunkRecords_) {
    chunks_.emplace_back();
    chunks_.back().data = Allocate(chunkRecords_ * recordSize_);
  }
  Chunk& chunk = chunks_.back();
  uint8_t* out = chunk.data + chunk.count * recordSize_;
  std::memset(out, 0, recordSize_);
  layout_.Encode(record, block, slot, recordNumber, out);
  ++count_;
  if (++chunk.count == chunkRecords_) SortInBackground(chunk);
}

void SecondaryEntries::WaitForSorts() {
  for (Chunk& c : chunks_)
    if (c.sorted.valid()) c.sorted.get();
}

bool SecondaryEntries::Sort(bool unique) {
  WaitForSorts();
  for (Chunk& c : chunks_) {
    if (!c.sorting) order_->Sort(c.data, c.count);
    c.sorting = true;
  }
  if (unique) {
    Reader reader(*this);
    const uint8_t* previous = reader.Next();
    while (const uint8_t* r = reader.Next()) {
      if (order_->SameValues(previous, r)) return false;
      previous = r;
    }
  }
  return true;
}

bool SecondaryEntries::KeepOrder(const std::vector<std::string>& keys) {
  const size_t keyBytes = def_.KeyBytes();
  if (keys.empty() || keys.size() != count_ || keyBytes == 0) return false;
  WaitForSorts();
  std::unordered_map<std::string_view, const uint8_t*> byKey;
  byKey.reserve(count_);
  for (const Chunk& c : chunks_)
    for (size_t i = 0; i < c.count; ++i) {
      const uint8_t* r = c.data + i * recordSize_;
      if (!byKey.emplace(std::string_view(reinterpret_cast<const char*>(r) + keyOffset_, keyBytes), r).second)
        return false;
    }
  Chunk ordered;
  ordered.data = Allocate(count_ * recordSize_);
  ordered.count = count_;
  ordered.sorting = true;
  uint8_t* out = ordered.data;
  for (const std::string& key : keys) {
    const auto it = byKey.find(key);
    if (it == byKey.end()) {
      std::free(ordered.data);
      return false;
    }
    std::memcpy(out, it->second, recordSize_);
    out += recordSize_;
    byKey.erase(it);
  }
  FreeChunks();
  chunks_.push_back(std::move(ordered));
  return true;
}

SecondaryEntries::Reader::Reader(const SecondaryEntries& entries)
    : order_(*entries.order_), recordSize_(entries.recordSize_), current_(SIZE_MAX) {
  for (const Chunk& c : entries.chunks_) {
    if (c.count == 0) continue;
    waiting_.push_back(heads_.size());
    heads_.push_back({c.data, c.data + c.count * recordSize_});
  }
  std::make_heap(waiting_.begin(), waiting_.end(),
                 [this](size_t a, size_t b) { return Before(heads_[b].at, b, a); });
}

bool SecondaryEntries::Reader::Before(const uint8_t* record, size_t a, size_t b) const {
  const int order = order_.Compare(record, heads_[b].at);
  return order < 0 || (order == 0 && a < b);
}

const uint8_t* SecondaryEntries::Reader::RunEnd() const {
  const Head& head = heads_[current_];
  const size_t n = static_cast<size_t>(head.end - head.at) / recordSize_;
  if (waiting_.empty()) return head.end;
  const size_t next = waiting_.front();
  const auto before = [&](size_t k) { return Before(head.at + k * recordSize_, current_, next); };
  size_t good = 0;  // the head itself goes first: it was the least
  size_t bad = n;
  for (size_t step = 1; good + step < n; step *= 2) {
    if (!before(good + step)) {
      bad = good + step;
      break;
    }
    good += step;
  }
  while (bad - good > 1) {
    const size_t middle = good + (bad - good) / 2;
    (before(middle) ? good : bad) = middle;
  }
  return head.at + bad * recordSize_;
}

const uint8_t* SecondaryEntries::Reader::Next() {
  const auto later = [this](size_t a, size_t b) { return Before(heads_[b].at, b, a); };
  if (current_ == SIZE_MAX || heads_[current_].at == runEnd_) {
    // The run is over: the chunk waits its turn again, and the least of all goes on.
    if (current_ != SIZE_MAX && heads_[current_].at != heads_[current_].end) {
      waiting_.push_back(current_);
      std::push_heap(waiting_.begin(), waiting_.end(), later);
    }
    if (waiting_.empty()) return nullptr;
    std::pop_heap(waiting_.begin(), waiting_.end(), later);
    current_ = waiting_.back();
    waiting_.pop_back();
    runEnd_ = RunEnd();
  }
  const uint8_t* record = heads_[current_].at;
  heads_[current_].at += recordSize_;
  return record;
}

}  // namespace engine
