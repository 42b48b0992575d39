#include "direct/record_lines.h"

#include "direct/value_causes.h"
#include "family/table_cursor.h"
#include "format/code_page.h"
#include "format/field_type.h"
#include "format/number_text.h"
#include "format/record_format.h"
#include "io/engine_error.h"
#include "io/names.h"

namespace engine {

namespace {

void AppendBlobCell(std::string& out, TableCursor& c, int field, const uint8_t* record, UnreadableCauses& causes) {
  const uint32_t length = c.BlobLength(field, record);
  if (length == 0) return;
  try {
    const std::string hash = Fnv1a64Hex(c.ReadBlob(field, record));
    AppendPadded(out, length, 0);
    out += ':';
    out += hash;
  } catch (const EDBEngineError& e) {
    causes.Add(e.what());
    out += '?';
  }
}

void AppendValueCell(std::string& out, TableCursor& c, size_t field, const uint8_t* record, UnreadableCauses& causes) {
  const FieldLayout& f = c.Layout()[field];
  const size_t start = out.size();
  try {
    AppendDumpText(out, f, record, c.Codepage());
    // The dump text of a BCD value is "?" only when its bytes are not a decimal.
    if (f.type == PxType::Bcd && out.compare(start, std::string::npos, "?") == 0)
      causes.Add("Datei " + Quoted(c.DataPath()) + ": Der BCD-Wert im Feld " + Quoted(c.FieldNames()[field]) +
                 " ist keine Dezimalzahl.");
  } catch (const EDBEngineError& e) {
    causes.Add(e.what());
    out.resize(start);
    out += '?';
  }
}

}  // namespace

void ForEachStoredRecord(
    TableCursor& c, std::vector<std::string>& unreadable,
    const std::function<void(uint32_t row, const uint8_t* record, uint32_t present, UnreadableCauses& causes)>& each) {
  if (!c.Data().Truncation().empty())
    unreadable.push_back("Datei " + Quoted(c.DataPath()) + ": " + c.Data().Truncation());
  UnreadableCauses causes;
  const uint32_t recordSize = c.Header().recordSize;
  std::vector<uint8_t> record(recordSize);
  for (uint32_t row = 0; row < c.RowCount(); ++row) {
    uint32_t present = 0;
    const uint8_t* stored = c.Data().Record(row, &present);
    record.assign(stored, stored + recordSize);
    each(row, record.data(), present, causes);
  }
  causes.AppendTo(unreadable);
}

void ForEachRecordLine(TableCursor& c, const std::function<void(const std::string&)>& line,
                       std::vector<std::string>& unreadable) {
  const auto& layout = c.Layout();
  std::string text;
  ForEachStoredRecord(c, unreadable, [&](uint32_t, const uint8_t* record, uint32_t present, UnreadableCauses& causes) {
    text.clear();
    for (size_t i = 0; i < layout.size(); ++i) {
      if (i) text += '\t';
      if (layout[i].offset + layout[i].bytes > present)
        text += '?';  // cut off by the end of the file, noted once above
      else if (IsBlobType(layout[i].type))
        AppendBlobCell(text, c, static_cast<int>(i), record, causes);
      else
        AppendValueCell(text, c, i, record, causes);
    }
    line(text);
  });
}

}  // namespace engine
