#pragma once
// Reading field values of an open table for TField and the grid's cell reads. The row being
// edited or inserted reads from the table's edit buffer (and its pending blob contents)
// instead of the file.

#include <cstdint>
#include <string>

#include "component/edit_buffer.h"
#include "family/table_cursor.h"
#include "format/record_format.h"

namespace engine {

// The short date format (ShortDateFormat) as parsed for the date texts.
const ShortDatePattern& ShortDateParts();

// RecordForRow for a row that the cursor does not have at hand.
const uint8_t* RecordSought(TableCursor& c, int row);

// Record bytes of `row` (current order) as a reader sees them: the edit buffer's record when
// `edited` is given, NullRecord() for a row outside the table. The fields of one row, and the
// rows after it in its block, are found without a search.
inline const uint8_t* RecordForRow(TableCursor& c, const EditBuffer* edited, int row) {
  if (edited) return edited->record.data();
  if (row >= 0)
    if (const uint8_t* record = c.LoadedRecordAt(static_cast<uint32_t>(row))) return record;
  return RecordSought(c, row);
}

bool FieldIsNull(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited);
// The text of a memo field (see FieldText).
std::string MemoText(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited);
// TField::AsString text (see table.h).
inline std::string FieldText(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited) {
  const FieldLayout& f = c.Layout().at(static_cast<size_t>(field));
  if (f.type == PxType::Memo) return MemoText(c, field, record, edited);
  return DisplayText(f, record, c.Codepage(), ShortDateParts());
}
// Whole blob content, raw bytes of a bytes field, or the stored bytes of any other field.
std::string FieldBytes(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited);

}  // namespace engine
