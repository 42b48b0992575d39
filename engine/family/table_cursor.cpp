#include "family/table_cursor.h"

#include <cctype>
#include <mutex>
#include <set>

#include "format/blob_block.h"
#include "format/code_page.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "io/whole_file_reads.h"
#include "storage/blob_file.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

std::mutex liveMutex;
std::set<const void*>& LiveCursors() {
  static std::set<const void*> live;
  return live;
}

}  // namespace

std::unique_ptr<TableCursor> TableCursor::Open(FileSystem& fs, const std::string& directory,
                                               const std::string& tableName, DataAccess access) {
  return Open(fs, directory, tableName, nullptr, access);
}

std::unique_ptr<TableCursor> TableCursor::Open(FileSystem& fs, const std::string& directory,
                                               const std::string& tableName,
                                               const std::vector<std::pair<uint16_t, uint32_t>>& walkedChain) {
  return Open(fs, directory, tableName, &walkedChain, DataAccess::kWhole);
}

std::unique_ptr<TableCursor> TableCursor::Open(FileSystem& fs, const std::string& directory,
                                               const std::string& tableName,
                                               const std::vector<std::pair<uint16_t, uint32_t>>* walkedChain,
                                               DataAccess access) {
  std::unique_ptr<TableCursor> c(new TableCursor);
  c->fs_ = &fs;
  c->access_ = access;
  c->directory_ = directory;
  c->dataPath_ = directory + tableName;
  c->baseName_ = BaseNameOf(tableName);
  c->Load(walkedChain);
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

void TableCursor::Load(const std::vector<std::pair<uint16_t, uint32_t>>* walkedChain) {
  keySearch_.reset();
  TableHeader header = ReadTableHeader(*fs_, dataPath_);
  auto file = fs_->Open(dataPath_, OpenMode::ReadOnly);
  data_ = walkedChain ? std::make_unique<DataFile>(std::move(file), std::move(header), *walkedChain)
                      : std::make_unique<DataFile>(std::move(file), std::move(header), DataFile::kCacheBytes, access_);
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
  blobFailure_ = nullptr;
}

BlockKeySearch& TableCursor::PrimaryKeySearch() {
  if (!keySearch_) {
    SecondaryDef order;
    for (int i = 0; i < Header().primaryKeyFields; ++i) order.fields.push_back(i);
    order.descending.assign(order.fields.size(), false);
    keySearch_ = std::make_unique<BlockKeySearch>(*data_, order);
  }
  return *keySearch_;
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
  return Blobs().Read(p, f.bytes);
}

void TableCursor::CheckBlob(int field, const uint8_t* record) {
  const FieldLayout& f = layout_.at(static_cast<size_t>(field));
  const uint8_t* p = record + f.offset;
  if (BlobFile::InLeader(p, f.bytes)) return;
  Blobs().Check(p, f.bytes);
}

const BlobFile& TableCursor::Blobs() {
  if (blobFailure_) std::rethrow_exception(blobFailure_);
  if (!blob_) blob_ = OpenBlobs(*fs_);
  return *blob_;
}

std::unique_ptr<BlobFile> TableCursor::OpenBlobs(FileSystem& fs) const {
  if (!fs.Exists(BlobPath()))
    Fail(kErrBlobMissing, BlobPath(), "Die Memo-/BLOb-Datei fehlt; der Inhalt kann nicht gelesen werden.");
  return BlobFile::Open(fs, BlobPath(), false);
}

bool TableCursor::PrepareBlobReads(uint64_t maxBytes) {
  if (!HasBlobFields(layout_)) return true;
  if (blob_ || blobFailure_) return false;
  WholeFileReads inMemory(*fs_, maxBytes);
  try {
    blob_ = OpenBlobs(inMemory);
  } catch (const EDBEngineError&) {
    blobFailure_ = std::current_exception();
    return true;
  }
  return blob_->Stored().Size() <= maxBytes;
}

void TableCursor::Reload() {
  const int selected = selected_;
  order_ = nullptr;
  selected_ = -1;
  Load();
  SelectOrder(selected);
}

}  // namespace engine
