#pragma once
// A check of every record of an open table: it lies wholly in the file, its values decode
// (BCD digits, timestamps), a keyed table's keys are unique and, where the order is byte order,
// ascending along the chain, and its blob fields refer to sound, unshared .MB entries.

#include <string>
#include <vector>

#include "io/progress.h"
#include "io/table_problem.h"

namespace engine {

class TableCursor;

// Appends what is wrong with the records of `cursor` to `problems`; `progress` gets the number
// of records checked. Problems of single records beyond the first kListedRecordProblems are
// summed up in one line. Returns the key bytes of the first record of each block (for the
// check of the .PX); empty for a table without key.
std::vector<std::string> CheckRecords(TableCursor& cursor, std::vector<TableProblem>& problems,
                                      const ProgressFn& progress);

constexpr size_t kListedRecordProblems = 20;

// "Datensatz 12 (Block 3)": the place of a record, counted from 1 in chain order.
std::string RecordPlace(uint64_t record, uint16_t block);

}  // namespace engine
