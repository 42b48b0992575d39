#pragma once
// A check of a table's index files against its data: the primary index (.PX) of a keyed table
// and every secondary index (.Xnn/.XGn with the tree .Ynn/.YGn over it).

#include <string>
#include <string>
#include <vector>

#include "io/table_problem.h"

namespace engine {

class TableCursor;

// Appends what is wrong with the index files of `cursor`'s table to `problems`; `firstKeys` are
// the key bytes of the first record of each data block (CheckRecords).
void CheckIndexes(TableCursor& cursor, const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems);

}  // namespace engine
