#pragma once
// A bounded cache of the display texts of recently read table rows, so that repainting the grid
// does not decode the same records again. When full, the row read longest ago is dropped.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <unordered_map>

namespace app {

class RowCache {
 public:
  struct Row {
    QStringList cells;   // display text per column
    QStringList errors;  // per column: empty, or the message of the failed read
  };

  explicit RowCache(std::size_t capacity);

  // The cached texts of a row, or nullptr when the row is not cached.
  const Row* find(int row) const;
  // Stores the texts of a row (replacing earlier texts of the same row) and returns them.
  const Row& insert(int row, Row texts);
  void clear();
  std::size_t size() const { return rows_.size(); }

 private:
  std::size_t capacity_;
  std::unordered_map<int, Row> rows_;
  std::deque<int> order_;  // row numbers, oldest first
};

}  // namespace app
