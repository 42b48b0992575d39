#pragma once
// A check of every record of an open table: it lies wholly in the file, its values decode
// (BCD digits, timestamps), a keyed table's keys are unique and, where the order is byte order,
// ascending along the chain, and its blob fields refer to sound, unshared .MB entries.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/record_format.h"
#include "format/table_header.h"

#include "io/progress.h"
#include "io/table_problem.h"

namespace engine {

class TableCursor;

// Called with each block of the chain as the check reads it, in chain order: its number in
// the chain (as DataFile::Blocks) and its records, null when they could not be read. The records
// are valid during the call.
using BlockRecordsFn = std::function<void(size_t block, const uint8_t* records)>;

// Appends what is wrong with the records of `cursor` to `problems`; `progress` gets the number
// of records checked. Problems of single records beyond the first kListedRecordProblems are
// summed up in one line. Returns the key bytes of the first record of each block (for the check
// of the .PX); empty for a table without key. `blockRead` (may be empty) sees every block read.
std::vector<std::string> CheckRecords(TableCursor& cursor, std::vector<TableProblem>& problems,
                                      const ProgressFn& progress, const BlockRecordsFn& blockRead = {});

constexpr size_t kListedRecordProblems = 20;

// "Datensatz 12 (Block 3)": the place of a record, counted from 1 in chain order.
std::string RecordPlace(uint64_t record, uint16_t block);

// Whether the value of a non-blob field of a record can be read: false for BCD bytes that are no
// decimal and for timestamps that are no point in time.
bool ValueIsReadable(const FieldLayout& field, const uint8_t* record);

// Whether a table's keys ascend in byte order: no alpha key field, or the "ascii" language
// driver, which collates by byte value.
bool KeysAreBytewise(const TableHeader& header);

// The key bytes of a record (its first `keyFields` fields) with the stale bytes after the end of
// each alpha value cleared: equal for equal keys.
std::string NormalizedKey(const uint8_t* record, const std::vector<FieldLayout>& layout, size_t keyFields);
// The same written to `out` (the key fields' bytes long).
void NormalizeKey(const uint8_t* record, const std::vector<FieldLayout>& layout, size_t keyFields, uint8_t* out);

}  // namespace engine
