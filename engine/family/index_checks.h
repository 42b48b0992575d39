#pragma once
// A check of a table's index files against its data: the primary index (.PX) of a keyed table
// and every secondary index (.Xnn/.XGn with the tree .Ynn/.YGn over it).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/table_problem.h"
#include "storage/secondary_index.h"

namespace engine {

class TableCursor;

class IndexChecks {
 public:
  explicit IndexChecks(TableCursor& cursor);

  // Takes what the checks of the secondary indexes need of the record at `row` (counted from 0
  // in chain order), so that they need not read the data again: give it every record, in any
  // order. Without all of them the checks read the data themselves.
  void Take(uint32_t row, const uint8_t* record);

  // Appends what is wrong with the index files to `problems`; `firstKeys` are the key bytes of
  // the first record of each data block (CheckRecords).
  void Run(const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems);

 private:
  TableCursor& c_;
  std::vector<std::optional<SecondaryRows>> gathered_;  // per secondary index; none: read later
  uint64_t taken_ = 0;
};

}  // namespace engine
