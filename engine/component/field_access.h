#pragma once
// Reading field values of an open table for TField and the grid's cell reads. The row being
// edited or inserted reads from the table's edit buffer (and its pending blob contents)
// instead of the file.

#include <cstdint>
#include <string>

namespace engine {

class ShortDatePattern;
class TableCursor;
struct EditBuffer;

// The short date format (ShortDateFormat) as parsed for the date texts.
const ShortDatePattern& ShortDateParts();

// Record bytes of `row` (current order) as a reader sees them: the edit buffer's record when
// `edited` is given, NullRecord() for a row outside the table.
const uint8_t* RecordForRow(TableCursor& c, const EditBuffer* edited, int row);

bool FieldIsNull(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited);
// TField::AsString text (see table.h).
std::string FieldText(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited);
// Whole blob content, raw bytes of a bytes field, or the stored bytes of any other field.
std::string FieldBytes(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited);

}  // namespace engine
