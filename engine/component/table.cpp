// The table component's reading side: naming, open/close, field and index definitions, index
// choice, navigation, cell reads and key search. Editing members live in table_edit.cpp.

#include "component/table.h"

#include <algorithm>

#include "component/definitions.h"
#include "component/edit_buffer.h"
#include "component/field_access.h"
#include "component/table_writer.h"
#include "family/table_access.h"
#include "family/table_cursor.h"
#include "format/code_page.h"
#include "format/record_format.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/header_reader.h"
#include "storage/table_key.h"

namespace engine {

namespace {

// The short date format, read for every date shown: an object of its own rather than a local
// static, whose guard every read would pass.
ShortDatePattern datePattern("dd.mm.yyyy");

// File name of the table in the directory: ".DB" added when the name has no extension, the
// spelling on disk found ignoring case.
std::string ResolveTableName(FileSystem& fs, const std::string& dir, const std::string& tableName) {
  std::string name = tableName;
  if (name.find('.') == std::string::npos) name += ".DB";
  return FindFileIgnoringCase(fs, dir, name);
}

// Position of the secondary index named `name` (ignoring case), -1 when there is none.
int SecondaryNamed(const std::vector<SecondaryIndex>& secondaries, const std::string& name) {
  int found = -1;
  for (size_t k = 0; k < secondaries.size(); ++k)
    if (EqualsIgnoringCase(secondaries[k].def.name, name)) found = static_cast<int>(k);
  return found;
}

}  // namespace

void TTable::FailNotOpen() const {
  FailPlain(kErrNotOpen, "Die Tabelle " + Quoted(tableName_) + " ist nicht geöffnet.");
}

const EditBuffer* TTable::EditedRowWhileEditing(int row) const {
  if (row != current_ || edit_->record.size() != cursor_->Header().recordSize) return nullptr;
  return edit_.get();
}

void TTable::SettleEdit() {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  if (Modified())
    Post();
  else
    Cancel();
}

void SetShortDateFormat(const std::string& pattern) { datePattern = ShortDatePattern(pattern); }
const std::string& ShortDateFormat() { return datePattern.Text(); }
const ShortDatePattern& ShortDateParts() { return datePattern; }

// ---------------------------------------------------------------- definitions

void TFieldDefs::Update() {
  if (!owner_) return;
  if (owner_->cursor_) {
    defs_.clear();
    const TableHeader& h = owner_->cursor_->Header();
    for (const auto& f : h.fields) defs_.push_back(FieldDefOf(f, owner_->cursor_->Codepage()));
    return;
  }
  FileSystem& fs = owner_->fs_ ? *owner_->fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(owner_->databaseName_);
  const TableHeader h = ReadTableFigures(fs, dir + ResolveTableName(fs, dir, owner_->tableName_));
  defs_.clear();
  for (const auto& f : h.fields) defs_.push_back(FieldDefOf(f, CodePage::ForHeader(h)));
}

void TIndexDefs::Update() { Read(); }

void TIndexDefs::Read() const {
  stale_ = false;
  if (!owner_) return;
  if (owner_->cursor_) {
    defs_ = IndexDefsOf(owner_->cursor_->Header(), owner_->cursor_->Secondaries());
    return;
  }
  FileSystem& fs = owner_->fs_ ? *owner_->fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(owner_->databaseName_);
  const std::string name = ResolveTableName(fs, dir, owner_->tableName_);
  const TableHeader h = ReadTableFigures(fs, dir + name);
  defs_ = IndexDefsOf(h, DiscoverSecondaryIndexes(fs, dir, BaseNameOf(name), h));
}

const TIndexDef* TIndexDefs::Find(const std::string& name) const {
  for (const auto& d : Items())
    if (EqualsIgnoringCase(d.Name, name)) return &d;
  return nullptr;
}

// ---------------------------------------------------------------- naming, open, close

TTable::TTable() : edit_(std::make_unique<EditBuffer>()) {}
TTable::~TTable() = default;

void TTable::SetDatabaseName(const std::string& dir) {
  if (Active()) FailPlain(kErrInvalidState, "DatabaseName kann bei geöffneter Tabelle nicht geändert werden.");
  databaseName_ = dir;
}

void TTable::SetTableName(const std::string& name) {
  if (Active()) FailPlain(kErrInvalidState, "TableName kann bei geöffneter Tabelle nicht geändert werden.");
  tableName_ = name;
}

void TTable::SetExclusive(bool on) {
  if (Active()) FailPlain(kErrInvalidState, "Exclusive kann bei geöffneter Tabelle nicht geändert werden.");
  exclusive_ = on;
}

void TTable::SetFileSystem(FileSystem* fs) {
  if (Active()) FailPlain(kErrInvalidState, "Das Dateisystem kann bei geöffneter Tabelle nicht geändert werden.");
  fs_ = fs;
}

void TTable::SetPassword(const std::string& password) {
  if (Active()) FailPlain(kErrInvalidState, "Das Kennwort kann bei geöffneter Tabelle nicht geändert werden.");
  password_ = password;
}

bool TTable::Active() const { return cursor_ != nullptr; }

void TTable::Open() {
  if (Active()) return;
  if (tableName_.empty()) FailPlain(kErrInvalidParam, "Es ist kein Tabellenname angegeben.");
  FileSystem& fs = fs_ ? *fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(databaseName_);
  auto lock = LockTableSettled(fs, dir, ResolveTableName(fs, dir, tableName_), exclusive_);
  // Only now, after a recovery may have put the .DB back, does it count as missing.
  const std::string name = ResolveTableName(fs, dir, tableName_);
  const std::string path = dir + name;
  if (!fs.Exists(path)) Fail(kErrFileNotFound, path, "Die Tabelle wurde nicht gefunden.");
  std::unique_ptr<FileSystem> unlocked = UnlockTableFiles(fs, path, password_);
  // The chain is walked as rows are asked for, so that a table of millions of records opens at
  // once (counting its rows or going to the last one walks the rest), and the rows read stay in
  // memory for the cursor's later moves.
  auto cursor = TableCursor::Open(unlocked ? *unlocked : fs, dir, name, DataAccess::kBrowse);
  if (!indexName_.empty()) {
    const int selected = SecondaryNamed(cursor->Secondaries(), indexName_);
    if (selected < 0) Fail(kErrNotFound, path, "Der Index " + Quoted(indexName_) + " existiert nicht.");
    cursor->SelectOrder(selected);
  }
  // Damage at the first block raises here, before the table counts as open.
  const bool empty = !cursor->HasRow(0);
  unlocked_ = std::move(unlocked);
  lock_ = std::move(lock);
  cursor_ = std::move(cursor);
  fieldDefs_.Update();
  indexDefs_.Invalidate();
  fields_.clear();
  for (int i = 0; i < static_cast<int>(cursor_->Header().fields.size()); ++i)
    fields_.push_back(std::make_unique<TField>(this, i));
  state_ = TDataSetState::dsBrowse;
  edit_->Clear();
  eof_ = empty;
  current_ = eof_ ? -1 : 0;
  bof_ = true;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Close() {
  writer_.reset();
  cursor_.reset();
  lock_.reset();
  unlocked_.reset();
  fields_.clear();
  edit_->Clear();
  state_ = TDataSetState::dsInactive;
}

void* TTable::Handle() const { return cursor_.get(); }

// ---------------------------------------------------------------- index

void TTable::SetIndexName(const std::string& name) {
  if (!Active()) {
    indexName_ = name;
    return;
  }
  SettleEdit();
  const int selected = name.empty() ? -1 : SecondaryNamed(cursor_->Secondaries(), name);
  if (!name.empty() && selected < 0)
    Fail(kErrNotFound, cursor_->DataPath(), "Der Index " + Quoted(name) + " existiert nicht.");
  // Stay on the same record in the new order.
  const int64_t stored = current_ >= 0 ? cursor_->StoredRow(static_cast<uint32_t>(current_)) : -1;
  cursor_->SelectOrder(selected);
  indexName_ = name;
  if (stored >= 0) {
    for (uint32_t row = 0; row < cursor_->RowCount(); ++row)
      if (cursor_->StoredRow(row) == stored) {
        current_ = static_cast<int>(row);
        break;
      }
  }
  bof_ = eof_ = false;
  if (AfterScroll) AfterScroll(*this);
}

// ---------------------------------------------------------------- fields

int TTable::FieldCount() const { return static_cast<int>(fields_.size()); }

void TTable::FailField(int i) const {
  if (!Active()) FailNotOpen();
  FailPlain(kErrNotFound, "Feldnummer " + std::to_string(i) + " außerhalb des Bereichs (0.." +
                              std::to_string(FieldCount() - 1) + ").");
}

TField* TTable::FindField(const std::string& name) {
  if (!Active()) return nullptr;
  const auto& names = cursor_->FieldNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (EqualsIgnoringCase(names[i], name)) return fields_[i].get();
  return nullptr;
}

TField& TTable::FieldByName(const std::string& name) {
  if (!Active()) FailNotOpen();
  TField* f = FindField(name);
  if (!f) Fail(kErrNotFound, cursor_->DataPath(), "Das Feld " + Quoted(name) + " existiert nicht.");
  return *f;
}

// ---------------------------------------------------------------- navigation

int TTable::RecordCount() const {
  if (!Active()) FailNotOpen();
  return static_cast<int>(cursor_->RowCount());
}

void TTable::MoveTo(int row) {
  if (!Active()) FailNotOpen();
  SettleEdit();
  if (row >= 0 && cursor_->HasRow(static_cast<uint32_t>(row))) {
    current_ = row;
    bof_ = eof_ = false;
  } else {
    const int count = static_cast<int>(cursor_->RowCount());
    current_ = count == 0 ? -1 : std::clamp(row, 0, count - 1);
    // Bof/Eof report a move that ran into the start or the end.
    bof_ = row < 0 || count == 0;
    eof_ = row >= count || count == 0;
  }
  if (AfterScroll) AfterScroll(*this);
}

void TTable::First() {
  MoveTo(0);
  bof_ = true;
}

void TTable::Last() {
  MoveTo(static_cast<int>(RecordCount()) - 1);
  eof_ = true;
}

void TTable::Next() {
  if (!Active()) FailNotOpen();
  SettleEdit();
  bof_ = false;
  if (!cursor_->HasRow(static_cast<uint32_t>(current_ + 1))) {
    eof_ = true;
    return;
  }
  ++current_;
  eof_ = false;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Prior() {
  if (!Active()) FailNotOpen();
  SettleEdit();
  eof_ = false;
  if (current_ <= 0) {
    bof_ = true;
    return;
  }
  --current_;
  bof_ = false;
  if (AfterScroll) AfterScroll(*this);
}

bool TTable::Eof() const { return !Active() || eof_; }
bool TTable::Bof() const { return !Active() || bof_; }
int TTable::RecNo() const { return Active() ? current_ : -1; }

void TTable::Refresh() {
  if (!Active()) FailNotOpen();
  SettleEdit();
  cursor_->Reload();
  const int count = static_cast<int>(cursor_->RowCount());
  current_ = count == 0 ? -1 : std::clamp(current_, 0, count - 1);
  const int selected = indexName_.empty() ? -1 : SecondaryNamed(cursor_->Secondaries(), indexName_);
  if (selected < 0) indexName_.clear();
  cursor_->SelectOrder(selected);
  fieldDefs_.Update();
  indexDefs_.Invalidate();
  bof_ = current_ <= 0;
  eof_ = cursor_->RowCount() == 0;
  if (AfterScroll) AfterScroll(*this);
}

// ---------------------------------------------------------------- cells

const uint8_t* TTable::CellRecord(int row, int field, const EditBuffer** edited) {
  if (!Active()) FailNotOpen();
  *edited = EditedRow(row);
  if (field < 0 || field >= FieldCount() || (!*edited && (row < 0 || !cursor_->HasRow(static_cast<uint32_t>(row)))))
    return nullptr;
  return RecordForRow(*cursor_, *edited, row);
}

std::string TTable::CellText(int row, int field) {
  const EditBuffer* edited = nullptr;
  const uint8_t* record = CellRecord(row, field, &edited);
  return record ? FieldText(*cursor_, field, record, edited) : "";
}

bool TTable::CellIsNull(int row, int field) {
  const EditBuffer* edited = nullptr;
  const uint8_t* record = CellRecord(row, field, &edited);
  return record ? FieldIsNull(*cursor_, field, record, edited) : true;
}

void TTable::CheckBlobCell(int row, int field) {
  const EditBuffer* edited = nullptr;
  const uint8_t* record = CellRecord(row, field, &edited);
  if (!record || !IsBlobType(cursor_->Layout()[static_cast<size_t>(field)].type)) return;
  if (edited && edited->blobs.count(field)) return;
  cursor_->CheckBlob(field, record);
}

}  // namespace engine
