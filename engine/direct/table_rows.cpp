#include "direct/table_rows.h"

#include "direct/record_lines.h"
#include "direct/table_location.h"
#include "direct/value_causes.h"
#include "family/table_cursor.h"
#include "format/code_page.h"
#include "format/record_format.h"
#include "format/value_codec.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"

namespace engine {

namespace {

ColumnKind KindOf(PxType type) {
  switch (type) {
    case PxType::Short: case PxType::Long: case PxType::AutoInc: case PxType::Logical:
      return ColumnKind::Integer;
    case PxType::Number:
      return ColumnKind::Real;
    case PxType::Money: case PxType::Bcd:
      return ColumnKind::Numeric;
    case PxType::Alpha: case PxType::Memo: case PxType::Date: case PxType::Time: case PxType::Timestamp:
      return ColumnKind::Text;
    default:
      return ColumnKind::Binary;  // B, F, O, G, Y
  }
}

TableShape ShapeOf(TableCursor& c) {
  TableShape shape;
  const TableHeader& h = c.Header();
  for (size_t i = 0; i < c.Layout().size(); ++i)
    shape.columns.push_back({c.FieldNames()[i], c.Layout()[i].type, KindOf(c.Layout()[i].type)});
  shape.keyFields = h.primaryKeyFields;
  for (const auto& ix : c.Secondaries())
    shape.indexes.push_back({ix.def.name, ix.def.fields, ix.def.descending, ix.def.unique, ix.def.caseInsensitive});
  shape.records = c.RowCount();
  return shape;
}

void ValueCell(TableCursor& c, size_t i, const uint8_t* record, Cell& cell, UnreadableCauses& causes) {
  const FieldLayout& f = c.Layout()[i];
  const uint8_t* p = record + f.offset;
  if (IsBlobType(f.type)) {
    if (c.BlobLength(static_cast<int>(i), record) == 0) return;
    std::string bytes;
    try {
      bytes = c.ReadBlob(static_cast<int>(i), record);
    } catch (const EDBEngineError& e) {
      causes.Add(e.what());
      return;
    }
    if (f.type == PxType::Memo) {
      cell.kind = CellKind::Text;
      c.Codepage().AppendUtf8(cell.text, bytes.data(), bytes.size());
    } else {
      cell.kind = CellKind::Bytes;
      cell.text = std::move(bytes);
    }
    return;
  }
  if (IsNullValue(f.type, p, f.bytes)) return;
  switch (f.type) {
    case PxType::Alpha: {
      cell.kind = CellKind::Text;
      AppendAlpha(cell.text, p, f.bytes, c.Codepage());
      return;
    }
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      cell.kind = CellKind::Integer;
      cell.integer = DecodeIntValue(p, f.bytes);
      return;
    case PxType::Logical:
      cell.kind = CellKind::Logical;
      cell.integer = DecodeLogicalValue(p) ? 1 : 0;
      return;
    case PxType::Number: case PxType::Money:
      cell.kind = CellKind::Real;
      cell.real = DecodeDoubleValue(p);
      return;
    case PxType::Bytes:
      cell.kind = CellKind::Bytes;
      cell.text.assign(reinterpret_cast<const char*>(p), f.bytes);
      return;
    default:
      break;
  }
  // BCD, dates and times: the dump's text, "?" when the bytes are no value.
  AppendDumpText(cell.text, f, record, c.Codepage());
  if (cell.text == "?") {
    cell.text.clear();
    causes.Add("Datei " + Quoted(c.DataPath()) + ": Der Wert im Feld " + Quoted(c.FieldNames()[i]) +
               " kann nicht gelesen werden.");
    return;
  }
  cell.kind = f.type == PxType::Bcd ? CellKind::Decimal : CellKind::Text;
}

}  // namespace

std::string CellText(const Cell& cell) {
  switch (cell.kind) {
    case CellKind::Null: return "";
    case CellKind::Integer: return std::to_string(cell.integer);
    case CellKind::Logical: return cell.integer ? "true" : "false";
    case CellKind::Real: return FormatDouble17(cell.real);
    default: return cell.text;
  }
}

void ReadTableRows(FileSystem& fs, const std::string& path, const std::function<bool(const TableShape&)>& begin,
                   const std::function<void(const std::vector<Cell>&)>& row, ReadFindings* findings,
                   const ProgressFn& progress) {
  const LockedTable table = LockTableAt(fs, path, false);
  auto cursor = TableCursor::Open(fs, table.dir, table.name);
  TableCursor& c = *cursor;
  ReadFindings result;
  result.notes = c.Notes();
  if (!begin(ShapeOf(c))) return;
  std::vector<Cell> cells(c.Layout().size());
  ForEachStoredRecord(c, result.unreadable,
                      [&](uint32_t r, const uint8_t* record, uint32_t present, UnreadableCauses& causes) {
                        for (size_t i = 0; i < cells.size(); ++i) {
                          cells[i].kind = CellKind::Null;
                          cells[i].text.clear();
                          const FieldLayout& f = c.Layout()[i];
                          if (f.offset + f.bytes <= present) ValueCell(c, i, record, cells[i], causes);
                        }
                        row(cells);
                        if (progress) progress(r + 1);
                      });
  if (findings) *findings = std::move(result);
}

}  // namespace engine
