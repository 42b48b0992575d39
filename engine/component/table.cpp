// The table component's reading side: naming, open/close, field and index definitions, index
// choice, navigation, cell reads and key search. Editing members live in table_edit.cpp.

#include "component/table.h"

#include <algorithm>
#include <cctype>

#include "format/code_page.h"
#include "format/blob_block.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "component/table_cursor.h"
#include "component/field_access.h"

namespace engine {

namespace {

std::string& DatePattern() {
  static std::string pattern = "dd.mm.yyyy";
  return pattern;
}

std::string Quoted(const std::string& s) { return "\xE2\x80\x9E" + s + "\xE2\x80\x9C"; }

std::string WithSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

// File name of the table in the directory: ".DB" added when the name has no extension, the
// spelling on disk found ignoring case.
std::string ResolveTableName(FileSystem& fs, const std::string& dir, const std::string& tableName) {
  std::string name = tableName;
  if (name.find('.') == std::string::npos) name += ".DB";
  return FindFileIgnoringCase(fs, dir, name);
}

std::string BaseNameOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

TFieldDef FieldDefFor(const FieldInfo& f, const CodePage& cp) {
  TFieldDef d;
  d.Name = cp.ToUtf8(f.name);
  d.DataType = ToFieldType(f.type);
  switch (f.type) {
    case PxType::Alpha: case PxType::Bytes: case PxType::Bcd:
      d.Size = f.size;
      break;
    case PxType::Memo: case PxType::Blob: case PxType::FmtMemo: case PxType::Ole:
    case PxType::Graphic:
      d.Size = static_cast<int>(mb::LeaderBytes(f.size));
      break;
    default:
      d.Size = 0;
  }
  return d;
}

std::vector<TIndexDef> IndexDefsFor(const TableHeader& h, const std::vector<SecondaryIndex>& secondaries) {
  std::vector<TIndexDef> defs;
  if (h.primaryKeyFields > 0) {
    const CodePage& cp = CodePage::ForHeader(h);
    TIndexDef primary;
    for (size_t i = 0; i < h.primaryKeyFields; ++i)
      primary.Fields += (i ? ";" : "") + cp.ToUtf8(h.fields[i].name);
    primary.Options = ixPrimary | ixUnique;
    defs.push_back(primary);
  }
  for (const auto& s : secondaries) defs.push_back(s.def);
  return defs;
}

[[noreturn]] void FailNotOpen(const std::string& tableName) {
  FailPlain(kErrNotOpen, "Die Tabelle " + Quoted(tableName) + " ist nicht geöffnet.");
}

// Ends an edit or insert before the cursor moves: posts a changed record, cancels an
// unchanged one.
void SettleEdit(TTable& t) {
  if (t.State() != TDataSetState::dsEdit && t.State() != TDataSetState::dsInsert) return;
  if (t.Modified())
    t.Post();
  else
    t.Cancel();
}

}  // namespace

void SetShortDateFormat(const std::string& pattern) { DatePattern() = pattern; }
const std::string& ShortDateFormat() { return DatePattern(); }

// ---------------------------------------------------------------- definitions

void TFieldDefs::Update() {
  if (!owner_) return;
  if (owner_->cursor_) {
    defs_.clear();
    const TableHeader& h = owner_->cursor_->Header();
    for (const auto& f : h.fields) defs_.push_back(FieldDefFor(f, owner_->cursor_->Codepage()));
    return;
  }
  FileSystem& fs = owner_->fs_ ? *owner_->fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(owner_->databaseName_);
  const TableHeader h = ReadTableHeader(fs, dir + ResolveTableName(fs, dir, owner_->tableName_));
  defs_.clear();
  for (const auto& f : h.fields) defs_.push_back(FieldDefFor(f, CodePage::ForHeader(h)));
}

void TIndexDefs::Read() const {
  stale_ = false;
  if (!owner_) return;
  if (owner_->cursor_) {
    defs_ = IndexDefsFor(owner_->cursor_->Header(), owner_->cursor_->Secondaries());
    return;
  }
  FileSystem& fs = owner_->fs_ ? *owner_->fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(owner_->databaseName_);
  const std::string name = ResolveTableName(fs, dir, owner_->tableName_);
  const TableHeader h = ReadTableHeader(fs, dir + name);
  defs_ = IndexDefsFor(h, DiscoverSecondaryIndexes(fs, dir, BaseNameOf(name), h));
}

const TIndexDef* TIndexDefs::Find(const std::string& name) const {
  for (const auto& d : Items())
    if (SameName(d.Name, name)) return &d;
  return nullptr;
}

// ---------------------------------------------------------------- naming, open, close

TTable::TTable() = default;
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

bool TTable::Active() const { return cursor_ != nullptr; }

void TTable::Open() {
  if (Active()) return;
  if (tableName_.empty()) FailPlain(kErrInvalidParam, "Es ist kein Tabellenname angegeben.");
  FileSystem& fs = fs_ ? *fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(databaseName_);
  const std::string name = ResolveTableName(fs, dir, tableName_);
  const std::string path = dir + name;
  if (!fs.Exists(path)) Fail(kErrFileNotFound, path, "Die Tabelle wurde nicht gefunden.");
  auto lock = fs.Lock(path, exclusive_);
  auto cursor = TableCursor::Open(fs, dir, name);
  cursor->lock = std::move(lock);
  int selected = -1;
  if (!indexName_.empty()) {
    const auto& secondaries = cursor->Secondaries();
    for (size_t k = 0; k < secondaries.size(); ++k)
      if (SameName(secondaries[k].def.Name, indexName_)) selected = static_cast<int>(k);
    if (selected < 0)
      Fail(kErrNotFound, path, "Der Index " + Quoted(indexName_) + " existiert nicht.");
    cursor->SelectOrder(selected);
  }
  cursor_ = std::move(cursor);
  fieldDefs_.Update();
  indexDefs_.Invalidate();
  fields_.clear();
  for (int i = 0; i < static_cast<int>(cursor_->Header().fields.size()); ++i)
    fields_.push_back(std::make_unique<TField>(this, i));
  state_ = TDataSetState::dsBrowse;
  cursor_->current = cursor_->RowCount() > 0 ? 0 : -1;
  cursor_->bof = true;
  cursor_->eof = cursor_->RowCount() == 0;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Close() {
  cursor_.reset();
  fields_.clear();
  state_ = TDataSetState::dsInactive;
}

void* TTable::Handle() const { return cursor_.get(); }

// ---------------------------------------------------------------- index

void TTable::SetIndexName(const std::string& name) {
  if (!Active()) {
    indexName_ = name;
    return;
  }
  SettleEdit(*this);
  int selected = -1;
  if (!name.empty()) {
    const auto& secondaries = cursor_->Secondaries();
    for (size_t k = 0; k < secondaries.size(); ++k)
      if (SameName(secondaries[k].def.Name, name)) selected = static_cast<int>(k);
    if (selected < 0)
      Fail(kErrNotFound, cursor_->DataPath(), "Der Index " + Quoted(name) + " existiert nicht.");
  }
  // Stay on the same record in the new order.
  const int64_t stored = cursor_->current >= 0 ? cursor_->StoredRow(static_cast<uint32_t>(cursor_->current)) : -1;
  cursor_->SelectOrder(selected);
  indexName_ = name;
  if (stored >= 0) {
    for (uint32_t row = 0; row < cursor_->RowCount(); ++row)
      if (cursor_->StoredRow(row) == stored) {
        cursor_->current = static_cast<int>(row);
        break;
      }
  }
  cursor_->bof = cursor_->eof = false;
  if (AfterScroll) AfterScroll(*this);
}

// ---------------------------------------------------------------- fields

int TTable::FieldCount() const { return static_cast<int>(fields_.size()); }

TField& TTable::Fields(int i) {
  if (!Active()) FailNotOpen(tableName_);
  if (i < 0 || i >= FieldCount())
    FailPlain(kErrNotFound, "Feldnummer " + std::to_string(i) + " außerhalb des Bereichs (0.." +
                                std::to_string(FieldCount() - 1) + ").");
  return *fields_[static_cast<size_t>(i)];
}

TField* TTable::FindField(const std::string& name) {
  if (!Active()) return nullptr;
  const auto& names = cursor_->FieldNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (SameName(names[i], name)) return fields_[i].get();
  return nullptr;
}

TField& TTable::FieldByName(const std::string& name) {
  if (!Active()) FailNotOpen(tableName_);
  TField* f = FindField(name);
  if (!f) Fail(kErrNotFound, cursor_->DataPath(), "Das Feld " + Quoted(name) + " existiert nicht.");
  return *f;
}

// ---------------------------------------------------------------- navigation

int TTable::RecordCount() const {
  if (!Active()) FailNotOpen(tableName_);
  return static_cast<int>(cursor_->RowCount());
}

void TTable::MoveTo(int row) {
  if (!Active()) FailNotOpen(tableName_);
  SettleEdit(*this);
  const int count = static_cast<int>(cursor_->RowCount());
  cursor_->current = count == 0 ? -1 : std::clamp(row, 0, count - 1);
  // Bof/Eof report a move that ran into the start or the end.
  cursor_->bof = row < 0 || count == 0;
  cursor_->eof = row >= count || count == 0;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::First() {
  MoveTo(0);
  cursor_->bof = true;
}

void TTable::Last() {
  MoveTo(static_cast<int>(RecordCount()) - 1);
  cursor_->eof = true;
}

void TTable::Next() {
  if (!Active()) FailNotOpen(tableName_);
  SettleEdit(*this);
  const int count = static_cast<int>(cursor_->RowCount());
  cursor_->bof = false;
  if (cursor_->current + 1 >= count) {
    cursor_->eof = true;
    return;
  }
  ++cursor_->current;
  cursor_->eof = false;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Prior() {
  if (!Active()) FailNotOpen(tableName_);
  SettleEdit(*this);
  cursor_->eof = false;
  if (cursor_->current <= 0) {
    cursor_->bof = true;
    return;
  }
  --cursor_->current;
  cursor_->bof = false;
  if (AfterScroll) AfterScroll(*this);
}

bool TTable::Eof() const { return !Active() || cursor_->eof; }
bool TTable::Bof() const { return !Active() || cursor_->bof; }
int TTable::RecNo() const { return Active() ? cursor_->current : -1; }

void TTable::Refresh() {
  if (!Active()) FailNotOpen(tableName_);
  SettleEdit(*this);
  cursor_->Reload();
  int selected = -1;
  const auto& secondaries = cursor_->Secondaries();
  for (size_t k = 0; k < secondaries.size(); ++k)
    if (!indexName_.empty() && SameName(secondaries[k].def.Name, indexName_)) selected = static_cast<int>(k);
  if (selected < 0) indexName_.clear();
  cursor_->SelectOrder(selected);
  fieldDefs_.Update();
  indexDefs_.Invalidate();
  cursor_->bof = cursor_->current <= 0;
  cursor_->eof = cursor_->RowCount() == 0;
  if (AfterScroll) AfterScroll(*this);
}

// ---------------------------------------------------------------- cells

std::string TTable::CellText(int row, int field) {
  if (!Active()) FailNotOpen(tableName_);
  const bool edited = IsEditedRow(*cursor_, state_, row);
  if (field < 0 || field >= FieldCount() || (!edited && (row < 0 || row >= static_cast<int>(cursor_->RowCount()))))
    return "";
  return FieldText(*cursor_, field, RecordForRow(*cursor_, state_, row), edited);
}

bool TTable::CellIsNull(int row, int field) {
  if (!Active()) FailNotOpen(tableName_);
  const bool edited = IsEditedRow(*cursor_, state_, row);
  if (field < 0 || field >= FieldCount() || (!edited && (row < 0 || row >= static_cast<int>(cursor_->RowCount()))))
    return true;
  return FieldIsNull(*cursor_, field, RecordForRow(*cursor_, state_, row), edited);
}

}  // namespace engine
