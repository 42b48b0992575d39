#include "component/bulk_table.h"

#include <algorithm>

#include "component/definitions.h"
#include "family/family_swap.h"
#include "family/family_writer.h"
#include "family/foreign_locks.h"
#include "family/table_access.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "format/field_type.h"
#include "format/record_format.h"
#include "format/value_codec.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/blob_file.h"

namespace engine {

namespace {

bool IsInteger(uint8_t t) {
  const auto type = static_cast<PxType>(t);
  return type == PxType::Short || type == PxType::Long || type == PxType::AutoInc;
}
bool IsFloat(uint8_t t) { return static_cast<PxType>(t) == PxType::Number || static_cast<PxType>(t) == PxType::Money; }
bool IsAlpha(uint8_t t) { return static_cast<PxType>(t) == PxType::Alpha; }
bool IsDate(uint8_t t) { return static_cast<PxType>(t) == PxType::Date; }
bool IsBlob(uint8_t t) { return IsBlobType(static_cast<PxType>(t)); }

bool IsAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

uint8_t* TBulkRow::Value(int field, bool (*accepts)(uint8_t type), const char* what) {
  if (field < 0 || static_cast<size_t>(field) >= layout_.size())
    FailPlain(kErrNotFound, "Feldnummer " + std::to_string(field) + " außerhalb des Bereichs.");
  const FieldLayout& f = layout_[static_cast<size_t>(field)];
  if (!accepts(static_cast<uint8_t>(f.type)))
    FailPlain(kErrInvalidValue, "Das Feld Nummer " + std::to_string(field) + " nimmt keine " + what + " auf.");
  return record_.data() + f.offset;
}

void TBulkRow::SetInteger(int field, int32_t value) {
  uint8_t* p = Value(field, IsInteger, "ganze Zahl");
  EncodeIntValue(value, p, layout_[static_cast<size_t>(field)].bytes);
}

void TBulkRow::SetFloat(int field, double value) { EncodeDoubleValue(value, Value(field, IsFloat, "Zahl")); }

void TBulkRow::SetString(int field, const std::string& utf8) {
  uint8_t* p = Value(field, IsAlpha, "Zeichenkette");
  const bool ascii = IsAscii(utf8);
  std::string converted;
  if (!ascii && !codePage_.FromUtf8(utf8, &converted))
    FailPlain(kErrInvalidValue, Quoted(utf8) + " enthält Zeichen, die die Codeseite der Tabelle nicht kennt.");
  if (!EncodeAlphaValue(ascii ? utf8 : converted, p, layout_[static_cast<size_t>(field)].bytes))
    FailPlain(kErrInvalidValue, Quoted(utf8) + " ist zu lang für das Feld Nummer " + std::to_string(field) + ".");
}

void TBulkRow::SetDate(int field, int year, int month, int day) {
  EncodeIntValue(DayNumberFromCivil(year, month, day), Value(field, IsDate, "Datum"), 4);
}

void TBulkRow::SetBlob(int field, const std::string& content) {
  Value(field, IsBlob, "Memo- oder BLOb-Werte");
  PutBlob(field, content);
}

void TBulkRow::PutBlob(int field, std::string content) {
  const FieldLayout& f = layout_[static_cast<size_t>(field)];
  const size_t leader = mb::LeaderBytes(f.bytes);
  if (content.size() > leader || f.bytes < mb::kDescriptorSize) {
    blobs_[field] = std::move(content);
    return;
  }
  // A value that fits the leader lives there whole, as the .MB's writer would leave it.
  uint8_t* p = record_.data() + f.offset;
  std::copy(content.begin(), content.end(), p);
  BlobFile::EndLeaderValue(p, f.bytes, static_cast<uint32_t>(content.size()));
  blobs_.erase(field);
}

void TBulkRow::Assign(int field, const TField& source) {
  Value(field, [](uint8_t) { return true; }, "");
  const FieldLayout& f = layout_[static_cast<size_t>(field)];
  if (ToFieldType(f.type) != source.DataType())
    FailPlain(kErrInvalidValue, "Das Feld Nummer " + std::to_string(field) + " hat einen anderen Typ als das Feld " +
                                    Quoted(source.FieldName()) + ".");
  if (source.IsNull()) {
    std::fill_n(record_.begin() + static_cast<std::ptrdiff_t>(f.offset), f.bytes, uint8_t{0});
    blobs_.erase(field);
    return;
  }
  if (f.type == PxType::Alpha) {
    SetString(field, source.AsString());
    return;
  }
  if (f.type == PxType::Memo) {
    const std::string text = source.AsString();
    std::string bytes;
    if (IsAscii(text))
      bytes = text;
    else if (!codePage_.FromUtf8(text, &bytes))
      FailPlain(kErrInvalidValue, "Das Memo im Feld " + Quoted(source.FieldName()) +
                                      " enthält Zeichen, die die Codeseite der Tabelle nicht kennt.");
    PutBlob(field, std::move(bytes));
    return;
  }
  std::string bytes = source.AsBytes();
  if (IsBlob(static_cast<uint8_t>(f.type))) {
    PutBlob(field, std::move(bytes));
    return;
  }
  if (bytes.size() != f.bytes)
    FailPlain(kErrInvalidValue, "Das Feld " + Quoted(source.FieldName()) + " hat eine andere Größe als das Feld Nummer " +
                                    std::to_string(field) + ".");
  std::copy(bytes.begin(), bytes.end(), record_.begin() + static_cast<std::ptrdiff_t>(f.offset));
}

void CreateTableInBulk(FileSystem& fs, const std::string& dir, const std::string& name, const TFieldDefs& fields,
                       const TIndexDefs& indexes, int blockBytes, const TBulkRowSource& source,
                       const ProgressFn& progress) {
  const std::string directory = WithSlash(dir);
  const std::string path = directory + name;
  const TableDefinition def = DefinitionFromDefs(fields, indexes, 0, blockBytes, path);
  const std::vector<FieldLayout> layout = LayoutFields(DataHeader(def, name));
  const CodePage& codePage = CodePage::Get(def.codePage);
  const size_t recordSize = def.RecordSize();
  const RecordSource records = [&](SourceRecord& rec) {
    rec.bytes.assign(recordSize, 0);
    rec.blobs.clear();
    TBulkRow row(layout, codePage, rec.bytes, rec.blobs);
    return source(row);
  };
  const auto lock = LockTableSettled(fs, directory, name, true);
  RefuseForeignUse(fs, directory, name);
  const std::vector<WrittenFile> written = WriteFamily(fs, def, directory, name, NewFilesSuffix(), records, progress);
  CommitFamily(fs, directory, ExistingFamily(fs, directory, name, true), written);
}

}  // namespace engine
