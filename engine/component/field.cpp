// TField: reading a field of the current record (and the value reads that the grid's cell reads
// share) and setting it in the table's edit buffer.

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "component/edit_buffer.h"
#include "component/field_access.h"
#include "component/table.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "format/record_format.h"
#include "format/value_codec.h"
#include "format/value_parse.h"
#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

const FieldLayout& LayoutOf(const TableCursor& c, int field) {
  return c.Layout().at(static_cast<size_t>(field));
}

const std::string& NameOf(const TableCursor& c, int field) {
  return c.FieldNames().at(static_cast<size_t>(field));
}

[[noreturn]] void NotConvertible(const TableCursor& c, int field, const std::string& what) {
  Fail(kErrInvalidValue, c.DataPath(), "Der Wert des Feldes " + Quoted(NameOf(c, field)) + " ist " + what + ".");
}

[[noreturn]] void BadValue(const TableCursor& c, int field, const std::string& text, const std::string& why) {
  Fail(kErrInvalidValue, c.DataPath(),
       Quoted(text) + " ist kein gültiger Wert für das Feld " + Quoted(NameOf(c, field)) + ": " + why + ".");
}

}  // namespace

// ---------------------------------------------------------------- value reads

const uint8_t* RecordSought(TableCursor& c, int row) {
  if (row < 0 || !c.HasRow(static_cast<uint32_t>(row))) return c.NullRecord();
  return c.RecordAt(static_cast<uint32_t>(row));
}

bool FieldIsNull(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited) {
  const FieldLayout& f = LayoutOf(c, field);
  if (edited && IsBlobType(f.type)) {
    auto it = edited->blobs.find(field);
    if (it != edited->blobs.end()) return it->second.empty();
  }
  return IsNullValue(f.type, record + f.offset, f.bytes);
}

std::string FieldBytes(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited) {
  const FieldLayout& f = LayoutOf(c, field);
  if (IsBlobType(f.type)) {
    if (edited) {
      auto it = edited->blobs.find(field);
      if (it != edited->blobs.end()) return it->second;
    }
    return c.ReadBlob(field, record);
  }
  if (IsNullValue(f.type, record + f.offset, f.bytes)) return "";
  return std::string(reinterpret_cast<const char*>(record + f.offset), f.bytes);
}

std::string MemoText(TableCursor& c, int field, const uint8_t* record, const EditBuffer* edited) {
  return c.Codepage().ToUtf8(FieldBytes(c, field, record, edited));
}

// ---------------------------------------------------------------- TField: reading

const std::string& TField::FieldName() const { return NameOf(table_->OpenCursor(), index_); }

TFieldType TField::DataType() const { return ToFieldType(LayoutOf(table_->OpenCursor(), index_).type); }

int TField::Size() const {
  const FieldLayout& f = LayoutOf(table_->OpenCursor(), index_);
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
  TableCursor& c = table_->OpenCursor();
  const EditBuffer* edited = table_->EditedRow(table_->current_);
  return FieldIsNull(c, index_, RecordForRow(c, edited, table_->current_), edited);
}

std::string TField::AsString() const {
  TableCursor& c = table_->OpenCursor();
  const EditBuffer* edited = table_->EditedRow(table_->current_);
  return FieldText(c, index_, RecordForRow(c, edited, table_->current_), edited);
}

std::string TField::AsBytes() const {
  TableCursor& c = table_->OpenCursor();
  const EditBuffer* edited = table_->EditedRow(table_->current_);
  return FieldBytes(c, index_, RecordForRow(c, edited, table_->current_), edited);
}

double TField::AsFloat() const {
  TableCursor& c = table_->OpenCursor();
  const uint8_t* record = RecordForRow(c, table_->EditedRow(table_->current_), table_->current_);
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
      const std::optional<double> v = text ? ParseCNumber(*text) : std::nullopt;
      if (!v) NotConvertible(c, index_, "keine gültige BCD-Zahl");
      return *v;
    }
    case PxType::Alpha: {
      std::string text = c.Codepage().ToUtf8(DecodeAlphaValue(p, f.bytes));
      for (char& ch : text)
        if (ch == ',') ch = '.';
      const std::optional<double> v = ParseCNumber(text);
      if (!v) NotConvertible(c, index_, "keine Zahl");
      return *v;
    }
    default:
      NotConvertible(c, index_, "keine Zahl");
  }
}

int32_t TField::AsInteger() const {
  TableCursor& c = table_->OpenCursor();
  const uint8_t* record = RecordForRow(c, table_->EditedRow(table_->current_), table_->current_);
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
  TableCursor& c = table_->OpenCursor();
  const uint8_t* record = RecordForRow(c, table_->EditedRow(table_->current_), table_->current_);
  const FieldLayout& f = LayoutOf(c, index_);
  if (f.type != PxType::Logical) NotConvertible(c, index_, "kein logischer Wert");
  const uint8_t* p = record + f.offset;
  return !IsNullValue(f.type, p, f.bytes) && DecodeLogicalValue(p);
}

// ---------------------------------------------------------------- TField: setting

namespace {

// Raises unless the table is in edit or insert state.
void RequireEditing(const TTable& t, const TableCursor& c, int field) {
  if (t.State() != TDataSetState::dsEdit && t.State() != TDataSetState::dsInsert)
    Fail(kErrInvalidState, c.DataPath(), "Das Feld " + Quoted(NameOf(c, field)) +
                                             " kann nur im Bearbeitungs- oder Einfügemodus geändert werden.");
}

}  // namespace

void TField::SetAsString(const std::string& text) {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  EditBuffer& edit = *table_->edit_;
  const FieldLayout& f = LayoutOf(c, index_);
  if (IsBlobType(f.type)) {
    std::string bytes = text;
    if ((f.type == PxType::Memo || f.type == PxType::FmtMemo) && !c.Codepage().FromUtf8(text, &bytes))
      BadValue(c, index_, text.substr(0, 40), "enthält Zeichen, die die Codeseite der Tabelle nicht kennt");
    edit.blobs[index_] = bytes;
    edit.modified = true;
    return;
  }
  std::vector<uint8_t> value(f.bytes);
  const std::string why = EncodeTextValue(f, text, c.Codepage(), ShortDateFormat(), value.data());
  if (!why.empty()) BadValue(c, index_, text, why);
  std::copy(value.begin(), value.end(), edit.record.begin() + static_cast<long>(f.offset));
  edit.modified = true;
}

void TField::SetAsInteger(int32_t v) {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  const FieldLayout& f = LayoutOf(c, index_);
  switch (f.type) {
    case PxType::Short:
      if (v < -32767 || v > 32767) BadValue(c, index_, std::to_string(v), "außerhalb des Bereichs -32767..32767");
      [[fallthrough]];
    case PxType::Long: case PxType::AutoInc:
      if (v == INT32_MIN) BadValue(c, index_, std::to_string(v), "außerhalb des Bereichs");
      EncodeIntValue(v, table_->edit_->record.data() + f.offset, f.bytes);
      table_->edit_->modified = true;
      return;
    case PxType::Number: case PxType::Money:
      SetAsFloat(v);
      return;
    case PxType::Logical:
      SetAsBoolean(v != 0);
      return;
    default:
      SetAsString(std::to_string(v));
  }
}

void TField::SetAsFloat(double v) {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  const FieldLayout& f = LayoutOf(c, index_);
  if (f.type == PxType::Number || f.type == PxType::Money) {
    if (!std::isfinite(v)) BadValue(c, index_, FormatDouble17(v), "keine endliche Zahl");
    EncodeDoubleValue(v, table_->edit_->record.data() + f.offset);
    table_->edit_->modified = true;
    return;
  }
  if ((f.type == PxType::Short || f.type == PxType::Long || f.type == PxType::AutoInc) && v == std::trunc(v) &&
      std::fabs(v) <= 2147483647.0) {
    SetAsInteger(static_cast<int32_t>(v));
    return;
  }
  SetAsString(FormatDouble17(v));
}

void TField::SetAsBoolean(bool v) {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  const FieldLayout& f = LayoutOf(c, index_);
  if (f.type == PxType::Logical) {
    EncodeLogicalValue(v, table_->edit_->record.data() + f.offset);
    table_->edit_->modified = true;
    return;
  }
  SetAsString(v ? "True" : "False");
}

void TField::SetAsBytes(const std::string& data) {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  EditBuffer& edit = *table_->edit_;
  const FieldLayout& f = LayoutOf(c, index_);
  if (IsBlobType(f.type)) {
    edit.blobs[index_] = data;
    edit.modified = true;
    return;
  }
  if (data.size() > f.bytes || (f.type != PxType::Bytes && f.type != PxType::Alpha && !data.empty() && data.size() != f.bytes))
    BadValue(c, index_, std::to_string(data.size()) + " Bytes", "passt nicht in " + std::to_string(f.bytes) + " Bytes");
  uint8_t* p = edit.record.data() + f.offset;
  std::memset(p, 0, f.bytes);
  std::memcpy(p, data.data(), data.size());
  edit.modified = true;
}

void TField::Clear() {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  EditBuffer& edit = *table_->edit_;
  const FieldLayout& f = LayoutOf(c, index_);
  if (IsBlobType(f.type))
    edit.blobs[index_].clear();
  else
    std::memset(edit.record.data() + f.offset, 0, f.bytes);
  edit.modified = true;
}

void TField::Assign(const TField& source) {
  TableCursor& c = table_->OpenCursor();
  RequireEditing(*table_, c, index_);
  TableCursor& s = source.table_->OpenCursor();
  const FieldLayout& f = LayoutOf(c, index_);
  const FieldLayout& sf = LayoutOf(s, source.index_);
  if (source.IsNull()) {
    Clear();
    return;
  }
  const bool sameCodePage = c.Codepage().Number() == s.Codepage().Number();
  if (IsBlobType(f.type) && IsBlobType(sf.type)) {
    std::string content = source.AsBytes();
    const bool text = f.type == PxType::Memo && sf.type == PxType::Memo;
    if (text && !sameCodePage && !c.Codepage().FromUtf8(s.Codepage().ToUtf8(content), &content))
      BadValue(c, index_, "Memo", "enthält Zeichen, die die Codeseite der Tabelle nicht kennt");
    table_->edit_->blobs[index_] = content;
    table_->edit_->modified = true;
    return;
  }
  if (f.type == sf.type && f.bytes == sf.bytes && f.sizeByte == sf.sizeByte &&
      (f.type != PxType::Alpha || sameCodePage)) {
    SetAsBytes(source.AsBytes());
    return;
  }
  SetAsString(source.AsString());
}

}  // namespace engine
