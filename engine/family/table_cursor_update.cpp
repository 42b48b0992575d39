// Keeping an open cursor in step with the changes its own table writer commits: the block
// directory comes from the writer and the selected secondary order is updated in place, so
// that a post costs the same on a large table as on a small one.

#include <algorithm>
#include <cstdint>
#include <utility>

#include "family/table_cursor.h"
#include "storage/record_writer.h"

namespace engine {

int TableCursor::ApplyChange(const RecordWriter& writer, int64_t removed, int64_t inserted) {
  RecordWriter::CommittedChain change = writer.LastCommit();
  data_->Refresh(writer.Header(), change.keptRows, std::move(change.tail), change.written);
  keySearch_.reset();
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
  const auto at = [&order](size_t i) { return order.begin() + static_cast<long>(i); };
  const auto placeOf = [&order](uint32_t stored) {
    return static_cast<size_t>(std::find(order.begin(), order.end(), stored) - order.begin());
  };
  const size_t before = RowCount() + (removed >= 0 ? 1u : 0u) - (inserted >= 0 ? 1u : 0u);
  const size_t gone = removed >= 0 ? placeOf(static_cast<uint32_t>(removed)) : order.size();
  if (order.size() != before || (removed >= 0 && gone == order.size())) {
    // The order did not hold the rows it should have: build it again.
    const int selected = selected_;
    orders_.clear();
    orderNotes_.clear();
    SelectOrder(selected);
    if (inserted < 0) return -1;
    const auto found = std::find(order_->begin(), order_->end(), static_cast<uint32_t>(inserted));
    return static_cast<int>(found - order_->begin());
  }
  // Stored rows as they are after the change (without branches, so that the pass over a large
  // order is quick).
  const uint32_t removedRow = removed >= 0 ? static_cast<uint32_t>(removed) : UINT32_MAX;
  const uint32_t insertedRow = inserted >= 0 ? static_cast<uint32_t>(inserted) : UINT32_MAX;
  for (uint32_t& stored : order) {
    const uint32_t kept = stored - (stored > removedRow ? 1u : 0u);
    stored = kept + (kept >= insertedRow ? 1u : 0u);
  }
  if (inserted < 0) {
    if (gone < order.size()) order.erase(at(gone));
    return -1;
  }

  // Rows of a secondary order are sorted by sort key, ties in stored order. The new row takes
  // the removed row's slot; only the rows between the old and the new place move.
  const SecondaryDef& index = secondaries_[static_cast<size_t>(selected_)].def;
  const auto row = static_cast<uint32_t>(inserted);
  const SortKeyMaker keys(index, Header());
  std::string key, otherKey;
  keys.Make(data_->Record(row), &key);
  const auto precedes = [&](uint32_t other) {
    keys.Make(data_->Record(other), &otherKey);
    return otherKey < key || (otherKey == key && other < row);
  };
  const auto placeAfter = [&](size_t from, size_t to) {
    return static_cast<size_t>(std::partition_point(at(from), at(to), precedes) - order.begin());
  };
  size_t position = 0;
  if (gone == order.size()) {
    position = placeAfter(0, order.size());
    order.insert(at(position), row);
  } else if (gone > 0 && !precedes(order[gone - 1])) {
    position = placeAfter(0, gone);  // earlier: the rows in between move down
    std::move_backward(at(position), at(gone), at(gone + 1));
    order[position] = row;
  } else {
    position = placeAfter(gone + 1, order.size()) - 1;  // later: the rows in between move up
    std::move(at(gone + 1), at(position + 1), at(gone));
    order[position] = row;
  }
  return static_cast<int>(position);
}

}  // namespace engine
