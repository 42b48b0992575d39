#include "storage/block_key_search.h"

#include <cstring>

#include "storage/data_file.h"

namespace engine {

BlockKeySearch::BlockKeySearch(DataFile& data, const SecondaryDef& order)
    : data_(data), keys_(order, data.Header()), rows_(data.RecordCount()) {
  for (const BlockEntry& b : data.Blocks())
    if (b.count > 0) firstRows_.push_back(b.firstRow);
  known_.assign(firstRows_.size(), false);
  firstKeys_.resize(firstRows_.size() * keys_.Width());
}

const uint8_t* BlockKeySearch::FirstKey(size_t i) {
  uint8_t* first = firstKeys_.data() + i * keys_.Width();
  if (!known_[i]) {
    keys_.Make(data_.Record(firstRows_[i]), &key_);
    std::memcpy(first, key_.data(), keys_.Width());
    known_[i] = true;
  }
  return first;
}

bool BlockKeySearch::Below(uint32_t row, const std::string& target) {
  keys_.Make(data_.Record(row), &key_);
  return key_.compare(0, target.size(), target) < 0;
}

uint32_t BlockKeySearch::LowerBound(const std::string& target) {
  // The blocks whose first key is below the target come first; the row sought lies in the
  // last of them, or is the first row of the next block.
  size_t lo = 0, hi = firstRows_.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const uint8_t* first = FirstKey(mid);
    if (std::memcmp(first, target.data(), target.size()) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == 0) return 0;
  uint32_t row = firstRows_[lo - 1] + 1;
  uint32_t end = lo < firstRows_.size() ? firstRows_[lo] : rows_;
  while (row < end) {
    const uint32_t mid = row + (end - row) / 2;
    if (Below(mid, target))
      row = mid + 1;
    else
      end = mid;
  }
  return row;
}

}  // namespace engine
