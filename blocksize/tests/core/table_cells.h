#pragma once
// Every cell of a table as the engine shows it, for checking that a change kept the data.

#include <string>
#include <vector>

#include "component/table.h"

namespace blocksize_test {

// Every cell of every record of the table `name` in `directory` (ending in "/"), in the table's
// order.
inline std::vector<std::vector<std::string>> ReadAllCells(const std::string& directory,
                                                          const std::string& name) {
  engine::TTable table;
  table.SetDatabaseName(directory);
  table.SetTableName(name);
  table.Open();
  std::vector<std::vector<std::string>> rows;
  const int records = table.RecordCount();
  const int fields = table.FieldCount();
  for (int row = 0; row < records; ++row) {
    std::vector<std::string> cells;
    for (int field = 0; field < fields; ++field) {
      cells.push_back(table.CellText(row, field));
    }
    rows.push_back(std::move(cells));
  }
  table.Close();
  return rows;
}

}  // namespace blocksize_test
