#include "component/table_cursor.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <set>

#include "storage/blob_file.h"
#include "format/code_page.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"

namespace engine {

namespace {

std::mutex liveMutex;
std::set<const void*>& LiveCursors() {
  static std::set<const void*> live;
  return live;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string WithoutExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string FindFileIgnoringCase(FileSystem& fs, const std::string& dir, const std::string& name) {
  if (fs.Exists(dir + name)) return name;
  try {
    for (const auto& candidate : fs.List(dir.empty() ? "." : dir))
      if (EqualsIgnoringCase(candidate, name)) return candidate;
  } catch (const EDBEngineError&) {
    // An unreadable directory leaves the name as given; opening it reports the failure.
  }
  return name;
}

TableHeader ReadTableHeader(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::ReadOnly);
  const uint64_t size = file->Size();
  if (size == 0) Fail(kErrNotATable, path, "Die Datei ist leer.");
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(size, kMaxHeaderBytes)));
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  TableHeader h = DecodeTableHeader(bytes.data(), bytes.size(), path);
  if (h.fileType != static_cast<uint8_t>(FileType::KeyedDb) &&
      h.fileType != static_cast<uint8_t>(FileType::UnkeyedDb))
    Fail(kErrNotATable, path, "Die Datei ist eine Indexdatei, keine Tabelle.");
  if (h.headerSize > size)
    Fail(kErrCorrupt, path, "Die Datei ist kürzer als ihr Tabellenkopf (abgeschnitten).");
  if (h.Encrypted())
    Fail(kErrPasswordProtected, path,
         "Die Tabelle ist durch ein Kennwort geschützt; verschlüsselte Tabellen können nicht gelesen werden.");
  if (h.fileType == static_cast<uint8_t>(FileType::UnkeyedDb) && h.primaryKeyFields != 0)
    Fail(kErrCorrupt, path, "Der Tabellenkopf nennt Schlüsselfelder für eine Tabelle ohne Schlüssel.");
  return h;
}

std::unique_ptr<TableCursor> TableCursor::Open(FileSystem& fs, const std::string& directory,
                                               const std::string& tableName) {
  std::unique_ptr<TableCursor> c(new TableCursor);
  c->fs_ = &fs;
  c->directory_ = directory;
  c->dataPath_ = directory + tableName;
  c->baseName_ = WithoutExtension(tableName);
  c->Load();
  std::lock_guard<std::mutex> guard(liveMutex);
  LiveCursors().insert(c.get());
  return c;
}

TableCursor::~TableCursor() {
  std::lock_guard<std::mutex> guard(liveMutex);
  LiveCursors().erase(this);
}

bool TableCursor::IsLive(const void* handle) {
  std::lock_guard<std::mutex> guard(liveMutex);
  return LiveCursors().count(handle) != 0;
}

void TableCursor::Load() {
  TableHeader header = ReadTableHeader(*fs_, dataPath_);
  data_ = std::make_unique<DataFile>(fs_->Open(dataPath_, OpenMode::ReadOnly), std::move(header));
  layout_ = LayoutFields(data_->Header());
  codePage_ = &CodePage::ForHeader(data_->Header());
  fieldNames_.clear();
  for (const auto& f : data_->Header().fields) fieldNames_.push_back(codePage_->ToUtf8(f.name));
  nullRecord_.assign(data_->Header().recordSize, 0);
  blobPath_.clear();
  secondaries_.clear();
  secondariesFound_ = false;
  orders_.clear();
  orderNotes_.clear();
  blob_.reset();
}

std::vector<std::string> TableCursor::Notes() const {
  std::vector<std::string> notes;
  if (!data_->Inconsistency().empty()) notes.push_back(data_->Inconsistency());
  for (const auto& [k, note] : orderNotes_)
    if (!note.empty()) notes.push_back(note);
  return notes;
}

void TableCursor::SelectOrder(int secondary) {
  if (secondary < 0 || secondary >= static_cast<int>(Secondaries().size())) {
    selected_ = -1;
    order_ = nullptr;
    return;
  }
  auto it = orders_.find(secondary);
  if (it == orders_.end()) {
    std::string note;
    auto order = SecondaryOrder(*fs_, secondaries_[static_cast<size_t>(secondary)], *data_, &note);
    orderNotes_[secondary] = note;
    it = orders_.emplace(secondary, std::move(order)).first;
  }
  selected_ = secondary;
  order_ = &it->second;
}

const std::vector<SecondaryIndex>& TableCursor::Secondaries() const {
  if (!secondariesFound_) {
    secondaries_ = DiscoverSecondaryIndexes(*fs_, directory_, baseName_, data_->Header());
    secondariesFound_ = true;
  }
  return secondaries_;
}

const std::string& TableCursor::BlobPath() const {
  if (blobPath_.empty()) blobPath_ = directory_ + FindFileIgnoringCase(*fs_, directory_, baseName_ + ".MB");
  return blobPath_;
}

uint32_t TableCursor::BlobLength(int field, const uint8_t* record) const {
  const FieldLayout& f = layout_.at(static_cast<size_t>(field));
  return BlobFile::StoredLength(record + f.offset, f.bytes);
}

std::string TableCursor::ReadBlob(int field, const uint8_t* record) {
  const FieldLayout& f = layout_.at(static_cast<size_t>(field));
  const uint8_t* p = record + f.offset;
  std::string content;
  if (BlobFile::StoredLength(p, f.bytes) == 0) return content;
  if (BlobFile::ReadFromLeader(p, f.bytes, &content)) return content;
  if (!blob_) {
    if (!fs_->Exists(BlobPath()))
      Fail(kErrBlobMissing, BlobPath(), "Die Memo-/BLOb-Datei fehlt; der Inhalt kann nicht gelesen werden.");
    blob_ = BlobFile::Open(*fs_, BlobPath(), false);
  }
  return blob_->Read(p, f.bytes);
}

void TableCursor::Reload() {
  const int selected = selected_;
  order_ = nullptr;
  selected_ = -1;
  Load();
  SelectOrder(selected);
  if (RowCount() == 0)
    current = -1;
  else
    current = std::clamp(current, 0, static_cast<int>(RowCount()) - 1);
}

}  // namespace engine
