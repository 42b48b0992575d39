// TField's reading members and the value reads they share with the grid's cell reads.

#include <cmath>
#include <cstdlib>

#include "storage/blob_file.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "io/fail.h"
#include "component/field_access.h"
#include "component/table_cursor.h"
#include "format/value_codec.h"

namespace engine {

namespace {

bool Editing(TDataSetState s) { return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert; }

std::string Quoted(const std::string& s) { return "\xE2\x80\x9E" + s + "\xE2\x80\x9C"; }

const FieldLayout& LayoutOf(const TableCursor& c, int field) {
  return c.Layout().at(static_cast<size_t>(field));
}

[[noreturn]] void NotConvertible(const TableCursor& c, int field, const std::string& what) {
  Fail(kErrInvalidValue, c.DataPath(),
       "Der Wert des Feldes " + Quoted(c.FieldNames()[static_cast<size_t>(field)]) + " ist " + what + ".");
}

}  // namespace

const uint8_t* RecordForRow(TableCursor& c, TDataSetState state, int row) {
  if (IsEditedRow(c, state, row)) return c.editRecord.data();
  if (row < 0 || row >= static_cast<int>(c.RowCount())) return c.NullRecord();
  return c.RecordAt(static_cast<uint32_t>(row));
}

bool IsEditedRow(const TableCursor& c, TDataSetState state, int row) {
  return Editing(state) && row == c.current && c.editRecord.size() == c.Header().recordSize;
}

bool FieldIsNull(TableCursor& c, int field, const uint8_t* record, bool edited) {
  const FieldLayout& f = LayoutOf(c, field);
  if (edited && IsBlobType(f.type)) {
    auto it = c.editBlobs.find(field);
    if (it != c.editBlobs.end()) return it->second.empty();
  }
  return IsNullValue(f.type, record + f.offset, f.bytes);
}

std::string FieldBytes(TableCursor& c, int field, const uint8_t* record, bool edited) {
  const FieldLayout& f = LayoutOf(c, field);
  if (IsBlobType(f.type)) {
    if (edited) {
      auto it = c.editBlobs.find(field);
      if (it != c.editBlobs.end()) return it->second;
    }
    return c.ReadBlob(field, record);
  }
  if (IsNullValue(f.type, record + f.offset, f.bytes)) return "";
  return std::string(reinterpret_cast<const char*>(record + f.offset), f.bytes);
}

std::string FieldText(TableCursor& c, int field, const uint8_t* record, bool edited) {
  const FieldLayout& f = LayoutOf(c, field);
  if (f.type == PxType::Memo) return c.Codepage().ToUtf8(FieldBytes(c, field, record, edited));
  return DisplayText(f, record, c.Codepage(), ShortDateFormat());
}

// ---------------------------------------------------------------- TField

namespace {

TableCursor& OpenCursor(TTable* t) {
  TableCursor* c = t->Cursor();
  if (!c) FailPlain(kErrNotOpen, "Die Tabelle " + Quoted(t->TableName()) + " ist nicht geöffnet.");
  return *c;
}

}  // namespace

const std::string& TField::FieldName() const { return OpenCursor(table_).FieldNames().at(static_cast<size_t>(index_)); }

TFieldType TField::DataType() const { return ToFieldType(LayoutOf(OpenCursor(table_), index_).type); }

int TField::Size() const {
  const FieldLayout& f = LayoutOf(OpenCursor(table_), index_);
  switch (f.type) {
    case PxType::Alpha: case PxType::Bytes: case PxType::Bcd:
      return f.sizeByte;
    default:
      return IsBlobType(f.type) ? static_cast<int>(mb::LeaderBytes(f.sizeByte)) : 0;
  }
}

bool TField::Required() const {
  if (index_ < table_->FieldDefs().Count()) return table_->FieldDefs()[index_].Required;
  return false;
}

bool TField::IsNull() const {
  TableCursor& c = OpenCursor(table_);
  const bool edited = IsEditedRow(c, table_->State(), c.current);
  return FieldIsNull(c, index_, RecordForRow(c, table_->State(), c.current), edited);
}

std::string TField::AsString() const {
  TableCursor& c = OpenCursor(table_);
  const bool edited = IsEditedRow(c, table_->State(), c.current);
  return FieldText(c, index_, RecordForRow(c, table_->State(), c.current), edited);
}

std::string TField::AsBytes() const {
  TableCursor& c = OpenCursor(table_);
  const bool edited = IsEditedRow(c, table_->State(), c.current);
  return FieldBytes(c, index_, RecordForRow(c, table_->State(), c.current), edited);
}

double TField::AsFloat() const {
  TableCursor& c = OpenCursor(table_);
  const uint8_t* record = RecordForRow(c, table_->State(), c.current);
  const FieldLayout& f = LayoutOf(c, index_);
  const uint8_t* p = record + f.offset;
  if (IsBlobType(f.type)) NotConvertible(c, index_, "keine Zahl");
  if (IsNullValue(f.type, p, f.bytes)) return 0.0;
  switch (f.type) {
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      return DecodeIntValue(p, f.bytes);
    case PxType::Number: case PxType::Money:
      return DecodeDoubleValue(p);
    case PxType::Bcd: {
      const auto text = DecodeBcdValue(p, f.sizeByte);
      if (!text) NotConvertible(c, index_, "keine gültige BCD-Zahl");
      return std::strtod(text->c_str(), nullptr);
    }
    case PxType::Alpha: {
      std::string text = c.Codepage().ToUtf8(DecodeAlphaValue(p, f.bytes));
      for (char& ch : text)
        if (ch == ',') ch = '.';
      char* end = nullptr;
      const double v = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0') NotConvertible(c, index_, "keine Zahl");
      return v;
    }
    default:
      NotConvertible(c, index_, "keine Zahl");
  }
}

int32_t TField::AsInteger() const {
  TableCursor& c = OpenCursor(table_);
  const uint8_t* record = RecordForRow(c, table_->State(), c.current);
  const FieldLayout& f = LayoutOf(c, index_);
  const uint8_t* p = record + f.offset;
  if (!IsBlobType(f.type) && IsNullValue(f.type, p, f.bytes)) return 0;
  switch (f.type) {
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      return DecodeIntValue(p, f.bytes);
    case PxType::Logical:
      return DecodeLogicalValue(p) ? 1 : 0;
    default: {
      const double v = AsFloat();
      if (v != std::floor(v) || v < -2147483648.0 || v > 2147483647.0)
        NotConvertible(c, index_, "keine ganze Zahl");
      return static_cast<int32_t>(v);
    }
  }
}

bool TField::AsBoolean() const {
  TableCursor& c = OpenCursor(table_);
  const uint8_t* record = RecordForRow(c, table_->State(), c.current);
  const FieldLayout& f = LayoutOf(c, index_);
  if (f.type != PxType::Logical) NotConvertible(c, index_, "kein logischer Wert");
  const uint8_t* p = record + f.offset;
  return !IsNullValue(f.type, p, f.bytes) && DecodeLogicalValue(p);
}

}  // namespace engine
