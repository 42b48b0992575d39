#pragma once
// Reading field values of an open table for TField and the grid's cell reads. While the table
// is in edit or insert state, the current row reads from the cursor's edit buffer (and pending
// blob contents) instead of the file.

#include <cstdint>
#include <string>

#include "component/table.h"

namespace engine {

class TableCursor;

// Record bytes of `row` (current order) as a reader sees them; NullRecord() for row -1.
const uint8_t* RecordForRow(TableCursor& c, TDataSetState state, int row);
bool IsEditedRow(const TableCursor& c, TDataSetState state, int row);

bool FieldIsNull(TableCursor& c, int field, const uint8_t* record, bool edited);
// TField::AsString text (see table.h).
std::string FieldText(TableCursor& c, int field, const uint8_t* record, bool edited);
// Whole blob content, raw bytes of a bytes field, or the stored bytes of any other field.
std::string FieldBytes(TableCursor& c, int field, const uint8_t* record, bool edited);

}  // namespace engine
