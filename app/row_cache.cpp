#include "app/row_cache.h"

#include <utility>

namespace app {

RowCache::RowCache(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

const RowCache::Row* RowCache::find(int row) const {
  auto it = rows_.find(row);
  return it == rows_.end() ? nullptr : &it->second;
}

const RowCache::Row& RowCache::insert(int row, Row texts) {
  auto it = rows_.find(row);
  if (it != rows_.end()) {
    it->second = std::move(texts);
    return it->second;
  }
  if (rows_.size() >= capacity_) {
    rows_.erase(order_.front());
    order_.pop_front();
  }
  order_.push_back(row);
  return rows_.emplace(row, std::move(texts)).first->second;
}

void RowCache::clear() {
  rows_.clear();
  order_.clear();
}

}  // namespace app
