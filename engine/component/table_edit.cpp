// The table component's writing side: Append/Insert/Edit/Post/Cancel/Delete, the field
// setters and CreateTable. Post writes the record and its blobs, flushes the data blocks
// before the header (so a posted record survives a crash after Post returns), and then brings
// the primary and secondary index files up to date.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "storage/blob_file.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "io/coding.h"
#include "io/fail.h"
#include "family/family_swap.h"
#include "family/family_writer.h"
#include "component/field_access.h"
#include "io/file_system.h"
#include "storage/record_writer.h"
#include "component/table.h"
#include "component/table_cursor.h"
#include "family/table_definition.h"
#include "component/table_writer.h"
#include "format/value_codec.h"
#include "format/value_parse.h"

namespace engine {

namespace {

std::string Quoted(const std::string& s) { return "\xE2\x80\x9E" + s + "\xE2\x80\x9C"; }

bool Editing(TDataSetState s) { return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert; }

TableCursor& OpenCursor(const TTable& t) {
  TableCursor* c = t.Cursor();
  if (!c) FailPlain(kErrNotOpen, "Die Tabelle " + Quoted(t.TableName()) + " ist nicht geöffnet.");
  return *c;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

// Key bytes of a record as they order: alpha fields end at their first NUL.
std::string OrderedKey(const std::vector<FieldLayout>& layout, int keyFields, const uint8_t* record) {
  std::string key;
  for (int i = 0; i < keyFields; ++i) {
    const FieldLayout& f = layout[static_cast<size_t>(i)];
    std::string part(reinterpret_cast<const char*>(record + f.offset), f.bytes);
    if (f.type == PxType::Alpha) {
      const size_t end = part.find('\0');
      if (end != std::string::npos) std::fill(part.begin() + static_cast<long>(end), part.end(), '\0');
    }
    key += part;
  }
  return key;
}

// First stored row whose key is not less than `key` (rows in key order).
uint32_t LowerBound(RecordWriter& w, const std::vector<FieldLayout>& layout, int keyFields, const std::string& key) {
  uint32_t lo = 0, hi = w.Count();
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (OrderedKey(layout, keyFields, w.Record(mid)) < key)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

[[noreturn]] void KeyViolation(const TableCursor& c, const std::string& what) {
  Fail(kErrKeyViolation, c.DataPath(), "Schlüsselverletzung: " + what);
}

void CheckUniqueIndexes(TableCursor& c, RecordWriter& w, const uint8_t* record, int64_t skipRow) {
  for (const SecondaryIndex& ix : c.Secondaries()) {
    if (!(ix.def.Options & ixUnique)) continue;
    const std::string mine = IndexSortKey(ix, c.Header(), record);
    for (uint32_t row = 0; row < w.Count(); ++row)
      if (static_cast<int64_t>(row) != skipRow && IndexSortKey(ix, c.Header(), w.Record(row)) == mine)
        KeyViolation(c, "Der eindeutige Index " + Quoted(ix.def.Name) + " enthält diesen Wert bereits.");
  }
}

// Row in the current order that shows stored row `stored`.
int RowOfStored(const TableCursor& c, uint32_t stored) {
  if (c.SelectedOrder() < 0 && stored < c.RowCount()) return static_cast<int>(stored);
  for (uint32_t row = 0; row < c.RowCount(); ++row)
    if (c.StoredRow(row) == stored) return static_cast<int>(row);
  return c.RowCount() > 0 ? 0 : -1;
}

// Whether a data file header read now describes the file as the cursor last saw it.
bool SameState(const TableHeader& now, const TableHeader& seen) {
  return now.numRecords == seen.numRecords && now.firstBlock == seen.firstBlock &&
         now.lastBlock == seen.lastBlock && now.usedBlocks == seen.usedBlocks &&
         now.fileBlocks == seen.fileBlocks && now.firstFreeBlock == seen.firstFreeBlock &&
         now.changeCount1 == seen.changeCount1 && now.changeCount2 == seen.changeCount2 &&
         now.stamp2F == seen.stamp2F && now.autoInc == seen.autoInc && now.fileUpdateTime == seen.fileUpdateTime;
}

// The table's writers, made anew when someone else changed the files since the last post.
// `*stale` tells whether the files differ from what the cursor shows, so that it has to read
// them again after the change instead of taking the change over from the writer.
TableWriter& WriterOf(TableCursor& c, bool* stale) {
  *stale = false;
  if (!c.writer || !c.writer->Current()) {
    c.writer = std::make_shared<TableWriter>(c.Fs(), c.Directory(), FileNameOf(c.DataPath()), c.Secondaries());
    *stale = !SameState(c.writer->Data().Header(), c.Header());
  }
  return *c.writer;
}

void EndEdit(TableCursor& c) {
  c.editRecord.clear();
  c.editBlobs.clear();
  c.editModified = false;
  c.editReturnRow = -1;
  c.insertHere = false;
}

}  // namespace

bool TTable::Modified() const { return Active() && Editing(state_) && cursor_->editModified; }

void TTable::Append() {
  TableCursor& c = OpenCursor(*this);
  if (Editing(state_)) {
    if (Modified())
      Post();
    else
      Cancel();
  }
  if (BeforeInsert) BeforeInsert(*this);
  c.editReturnRow = c.current;
  c.editRecord.assign(c.Header().recordSize, 0);
  c.editBlobs.clear();
  c.editModified = false;
  c.insertHere = false;
  c.current = static_cast<int>(c.RowCount());
  state_ = TDataSetState::dsInsert;
}

void TTable::Insert() {
  Append();
  cursor_->insertHere = true;
}

void TTable::Edit() {
  TableCursor& c = OpenCursor(*this);
  if (Editing(state_)) return;
  if (c.RowCount() == 0 || c.current < 0) {
    Append();
    return;
  }
  const uint8_t* record = c.RecordAt(static_cast<uint32_t>(c.current));
  c.editRecord.assign(record, record + c.Header().recordSize);
  c.editBlobs.clear();
  c.editModified = false;
  state_ = TDataSetState::dsEdit;
}

void TTable::Cancel() {
  TableCursor& c = OpenCursor(*this);
  if (!Editing(state_)) return;
  if (state_ == TDataSetState::dsInsert) c.current = c.editReturnRow;
  EndEdit(c);
  state_ = TDataSetState::dsBrowse;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Post() {
  TableCursor& c = OpenCursor(*this);
  if (!Editing(state_)) return;
  const std::vector<FieldLayout>& layout = c.Layout();
  const uint8_t* buffer = c.editRecord.data();
  for (int i = 0; i < FieldCount() && i < fieldDefs_.Count(); ++i)
    if (fieldDefs_[i].Required && FieldIsNull(c, i, buffer, true))
      Fail(kErrRequired, c.DataPath(), "Das Feld " + Quoted(c.FieldNames()[static_cast<size_t>(i)]) +
                                           " muss einen Wert haben.");
  FileSystem& fs = c.Fs();
  bool stale = false;
  TableWriter& tw = WriterOf(c, &stale);
  // Changes stay in memory until the commit; a refusal on the way drops them with the writer.
  struct DropOnFailure {
    TableCursor& c;
    bool done = false;
    ~DropOnFailure() {
      if (!done) c.writer.reset();
    }
  } guard{c};
  RecordWriter& w = tw.Data();
  TableHeader& h = w.MutableHeader();
  std::vector<uint8_t> record = c.editRecord;
  const bool inserting = state_ == TDataSetState::dsInsert;
  for (size_t i = 0; i < layout.size(); ++i) {
    const FieldLayout& f = layout[i];
    if (f.type != PxType::AutoInc) continue;
    uint8_t* p = record.data() + f.offset;
    if (IsNullValue(f.type, p, f.bytes)) {
      if (!inserting) continue;
      if (h.autoInc >= 2147483647u)
        Fail(kErrUnsupported, c.DataPath(), "Der Zähler des Autoinkrement-Feldes ist erschöpft.");
      EncodeIntValue(static_cast<int32_t>(++h.autoInc), p, f.bytes);
    } else {
      const int32_t v = DecodeIntValue(p, f.bytes);
      if (v > 0 && static_cast<uint32_t>(v) > h.autoInc) h.autoInc = static_cast<uint32_t>(v);
    }
  }
  const int keyFields = h.fileType == static_cast<uint8_t>(FileType::KeyedDb) ? h.primaryKeyFields : 0;
  const int64_t editedRow = inserting ? -1 : static_cast<int64_t>(c.StoredRow(static_cast<uint32_t>(c.current)));
  if (!inserting && static_cast<uint64_t>(editedRow) >= w.Count())
    Fail(kErrNotFound, c.DataPath(), "Der bearbeitete Datensatz existiert nicht mehr.");
  std::vector<uint8_t> original;
  if (!inserting) original.assign(w.Record(static_cast<uint32_t>(editedRow)), w.Record(static_cast<uint32_t>(editedRow)) + h.recordSize);

  // Where the record goes, refusing a duplicate key.
  uint32_t target = w.Count();
  bool moves = inserting;
  if (keyFields > 0) {
    const std::string key = OrderedKey(layout, keyFields, record.data());
    const bool sameKey = !inserting && key == OrderedKey(layout, keyFields, original.data());
    if (!sameKey) {
      const uint32_t at = LowerBound(w, layout, keyFields, key);
      if (at < w.Count() && static_cast<int64_t>(at) != editedRow &&
          OrderedKey(layout, keyFields, w.Record(at)) == key)
        KeyViolation(c, "In der Tabelle gibt es schon einen Datensatz mit diesem Schlüssel.");
      moves = true;
      target = at;
      if (!inserting && static_cast<int64_t>(at) > editedRow) --target;
    } else {
      target = static_cast<uint32_t>(editedRow);
    }
  } else if (!inserting) {
    target = static_cast<uint32_t>(editedRow);
  } else if (c.insertHere && c.editReturnRow >= 0 && c.SelectedOrder() < 0 &&
             static_cast<uint32_t>(c.editReturnRow) < w.Count()) {
    target = static_cast<uint32_t>(c.editReturnRow);
  }
  // Unique indexes of a table with key are checked entry by entry by the table writer.
  if (keyFields == 0) CheckUniqueIndexes(c, w, record.data(), editedRow);

  // Blob contents go to the .MB first; the old ones are freed only after the record is written.
  BlobFile* mb = nullptr;
  std::vector<std::vector<uint8_t>> toFree;
  for (const auto& [field, content] : c.editBlobs) {
    const FieldLayout& f = layout[static_cast<size_t>(field)];
    uint8_t* bytes = record.data() + f.offset;
    if (!inserting && BlobFile::StoredLength(original.data() + f.offset, f.bytes) > mb::LeaderBytes(f.bytes))
      toFree.emplace_back(original.begin() + static_cast<long>(f.offset),
                          original.begin() + static_cast<long>(f.offset + f.bytes));
    if (content.size() <= mb::LeaderBytes(f.bytes)) {
      // A value that fits in the record's leader needs no .MB.
      std::fill(bytes, bytes + f.bytes, uint8_t{0});
      std::copy(content.begin(), content.end(), bytes);
      coding::PutU32(bytes + mb::LeaderBytes(f.bytes) + mb::kDescLength, static_cast<uint32_t>(content.size()));
      continue;
    }
    if (!mb) mb = &tw.Blobs(c.BlobPath());
    mb->Write(content, f.type, bytes, f.bytes);
  }
  if (mb) mb->Sync();
  if (!toFree.empty() && !mb && fs.Exists(c.BlobPath())) mb = &tw.Blobs(c.BlobPath());

  if (moves && !inserting) tw.Remove(static_cast<uint32_t>(editedRow));
  if (moves)
    tw.Insert(target, record.data());
  else
    tw.Replace(target, record.data());
  tw.Commit();
  guard.done = true;
  if (mb) {
    for (const auto& old : toFree) mb->Free(old.data(), old.size());
    mb->Sync();
  }

  EndEdit(c);
  state_ = TDataSetState::dsBrowse;
  if (stale) {
    c.Reload();
    c.current = RowOfStored(c, target);
  } else {
    c.current = c.ApplyChange(w, editedRow, target);
  }
  c.bof = c.eof = false;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Delete() {
  TableCursor& c = OpenCursor(*this);
  if (state_ == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (c.RowCount() == 0 || c.current < 0)
    FailPlain(kErrEmptyDataSet, "Operation bei leerer Datenmenge nicht ausführbar");
  if (state_ == TDataSetState::dsEdit) {
    EndEdit(c);
    state_ = TDataSetState::dsBrowse;
  }
  FileSystem& fs = c.Fs();
  bool stale = false;
  TableWriter& tw = WriterOf(c, &stale);
  RecordWriter& w = tw.Data();
  const uint32_t stored = c.StoredRow(static_cast<uint32_t>(c.current));
  const std::vector<uint8_t> old(w.Record(stored), w.Record(stored) + w.Header().recordSize);
  try {
    tw.Remove(stored);
    tw.Commit();
  } catch (...) {
    c.writer.reset();
    throw;
  }
  const std::vector<FieldLayout>& layout = c.Layout();
  BlobFile* mb = nullptr;
  for (const FieldLayout& f : layout) {
    if (!IsBlobType(f.type) || BlobFile::StoredLength(old.data() + f.offset, f.bytes) <= mb::LeaderBytes(f.bytes)) continue;
    if (!mb && fs.Exists(c.BlobPath())) mb = &tw.Blobs(c.BlobPath());
    if (mb) mb->Free(old.data() + f.offset, f.bytes);
  }
  if (mb) mb->Sync();
  const int row = c.current;
  if (stale)
    c.Reload();
  else
    c.ApplyChange(w, stored, -1);
  c.current = c.RowCount() == 0 ? -1 : std::min(row, static_cast<int>(c.RowCount()) - 1);
  c.bof = c.current <= 0;
  c.eof = c.RowCount() == 0;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::CreateTable() {
  if (Active()) FailPlain(kErrInvalidState, "CreateTable: Die Tabelle muss geschlossen sein.");
  if (tableName_.empty()) FailPlain(kErrInvalidParam, "Es ist kein Tabellenname angegeben.");
  FileSystem& fs = fs_ ? *fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(databaseName_);
  const std::string name = tableName_.find('.') == std::string::npos ? tableName_ + ".DB" : tableName_;
  const std::string path = dir + name;
  const TableDefinition def = DefinitionFromDefs(fieldDefs_, indexDefs_, createLevel_, createBlockSize_, path);
  const auto lock = fs.Lock(path, true);
  RecoverTableFamily(fs, dir, name);
  const RecordSource none = [](SourceRecord&) { return false; };
  const std::vector<WrittenFile> written = WriteFamily(fs, def, dir, name, kNewSuffix, none, {});
  CommitFamily(fs, dir, ExistingFamily(fs, dir, name, true), written);
}

// ---------------------------------------------------------------- TField setters

namespace {

TableCursor& EditCursor(TTable* t, int field) {
  TableCursor& c = OpenCursor(*t);
  if (!Editing(t->State()))
    Fail(kErrInvalidState, c.DataPath(), "Das Feld " + Quoted(c.FieldNames()[static_cast<size_t>(field)]) +
                                             " kann nur im Bearbeitungs- oder Einfügemodus geändert werden.");
  return c;
}

[[noreturn]] void BadValue(TableCursor& c, int field, const std::string& text, const std::string& why) {
  Fail(kErrInvalidValue, c.DataPath(), Quoted(text) + " ist kein gültiger Wert für das Feld " +
                                           Quoted(c.FieldNames()[static_cast<size_t>(field)]) + ": " + why + ".");
}

void SetBlob(TableCursor& c, int field, const std::string& content) {
  c.editBlobs[field] = content;
  c.editModified = true;
}

}  // namespace

void TField::SetAsString(const std::string& text) {
  TableCursor& c = EditCursor(table_, index_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  if (IsBlobType(f.type)) {
    std::string bytes = text;
    if ((f.type == PxType::Memo || f.type == PxType::FmtMemo) && !c.Codepage().FromUtf8(text, &bytes))
      BadValue(c, index_, text.substr(0, 40), "enthält Zeichen, die die Codeseite der Tabelle nicht kennt");
    SetBlob(c, index_, bytes);
    return;
  }
  std::vector<uint8_t> value(f.bytes);
  const std::string why = EncodeTextValue(f, text, c.Codepage(), ShortDateFormat(), value.data());
  if (!why.empty()) BadValue(c, index_, text, why);
  std::copy(value.begin(), value.end(), c.editRecord.begin() + static_cast<long>(f.offset));
  c.editModified = true;
}

void TField::SetAsInteger(int32_t v) {
  TableCursor& c = EditCursor(table_, index_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  switch (f.type) {
    case PxType::Short:
      if (v < -32767 || v > 32767) BadValue(c, index_, std::to_string(v), "außerhalb des Bereichs -32767..32767");
      [[fallthrough]];
    case PxType::Long: case PxType::AutoInc:
      if (v == INT32_MIN) BadValue(c, index_, std::to_string(v), "außerhalb des Bereichs");
      EncodeIntValue(v, c.editRecord.data() + f.offset, f.bytes);
      c.editModified = true;
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
  TableCursor& c = EditCursor(table_, index_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  if (f.type == PxType::Number || f.type == PxType::Money) {
    if (!std::isfinite(v)) BadValue(c, index_, FormatDouble17(v), "keine endliche Zahl");
    EncodeDoubleValue(v, c.editRecord.data() + f.offset);
    c.editModified = true;
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
  TableCursor& c = EditCursor(table_, index_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  if (f.type == PxType::Logical) {
    EncodeLogicalValue(v, c.editRecord.data() + f.offset);
    c.editModified = true;
    return;
  }
  SetAsString(v ? "True" : "False");
}

void TField::SetAsBytes(const std::string& data) {
  TableCursor& c = EditCursor(table_, index_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  if (IsBlobType(f.type)) {
    SetBlob(c, index_, data);
    return;
  }
  if (data.size() > f.bytes || (f.type != PxType::Bytes && f.type != PxType::Alpha && !data.empty() && data.size() != f.bytes))
    BadValue(c, index_, std::to_string(data.size()) + " Bytes", "passt nicht in " + std::to_string(f.bytes) + " Bytes");
  uint8_t* p = c.editRecord.data() + f.offset;
  std::memset(p, 0, f.bytes);
  std::memcpy(p, data.data(), data.size());
  c.editModified = true;
}

void TField::Clear() {
  TableCursor& c = EditCursor(table_, index_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  if (IsBlobType(f.type)) {
    SetBlob(c, index_, "");
    return;
  }
  std::memset(c.editRecord.data() + f.offset, 0, f.bytes);
  c.editModified = true;
}

void TField::Assign(const TField& source) {
  TableCursor& c = EditCursor(table_, index_);
  TableCursor& s = OpenCursor(*source.table_);
  const FieldLayout& f = c.Layout()[static_cast<size_t>(index_)];
  const FieldLayout& sf = s.Layout()[static_cast<size_t>(source.index_)];
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
    SetBlob(c, index_, content);
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
