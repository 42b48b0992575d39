// Keeping an open cursor in step with the changes its own table writer commits: the block
// directory comes from the writer and the selected secondary order is updated in place, so
// that a post costs the same on a large table as on a small one.

#include <algorithm>

#include "engine/record_writer.h"
#include "engine/table_cursor.h"

namespace engine {

int TableCursor::ApplyChange(const RecordWriter& writer, int64_t removed, int64_t inserted) {
  data_->Refresh(writer.Header(), writer.Chain());
  for (auto it = orders_.begin(); it != orders_.end();) {
    if (it->first == selected_) {
      ++it;
      continue;
    }
    orderNotes_.erase(it->first);
    it = orders_.erase(it);
  }
  if (selected_ < 0) return inserted < 0 ? -1 : static_cast<int>(inserted);

  std::vector<uint32_t>& order = orders_.at(selected_);
  // Stored rows as they are after the change; the removed row's place is found on the way.
  size_t gone = order.size();
  for (size_t i = 0; i < order.size(); ++i) {
    int64_t stored = order[i];
    if (stored == removed) {
      gone = i;
      continue;
    }
    if (removed >= 0 && stored > removed) --stored;
    if (inserted >= 0 && stored >= inserted) ++stored;
    order[i] = static_cast<uint32_t>(stored);
  }
  if (gone < order.size()) order.erase(order.begin() + static_cast<long>(gone));
  const size_t expected = RowCount() - (inserted >= 0 ? 1u : 0u);
  if (order.size() != expected) {
    // The order did not hold the rows it should have: build it again.
    const int selected = selected_;
    orders_.clear();
    orderNotes_.clear();
    SelectOrder(selected);
    if (inserted < 0) return -1;
    const auto at = std::find(order_->begin(), order_->end(), static_cast<uint32_t>(inserted));
    return static_cast<int>(at - order_->begin());
  }
  if (inserted < 0) return -1;

  // Rows of a secondary order are sorted by sort key, ties in stored order.
  const SecondaryIndex& index = secondaries_[static_cast<size_t>(selected_)];
  const auto row = static_cast<uint32_t>(inserted);
  const std::string key = IndexSortKey(index, Header(), data_->Record(row));
  const auto at = std::partition_point(order.begin(), order.end(), [&](uint32_t other) {
    const std::string otherKey = IndexSortKey(index, Header(), data_->Record(other));
    return otherKey < key || (otherKey == key && other < row);
  });
  const auto position = at - order.begin();
  order.insert(at, row);
  return static_cast<int>(position);
}

}  // namespace engine
