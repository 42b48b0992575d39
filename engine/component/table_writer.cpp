#include "component/table_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "storage/blob_file.h"
#include "format/blob_block.h"
#include "format/index_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "family/family_writer.h"
#include "io/file_system.h"
#include "storage/index_builder.h"
#include "family/index_maintenance.h"
#include "component/table_cursor.h"

namespace engine {

namespace {

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Maintained(const SecondaryIndex& s) { return s.maintained; }

std::string TreeName(const std::string& xName) {
  std::string y = xName;
  const size_t dot = y.rfind('.');
  if (dot != std::string::npos && dot + 1 < y.size()) y[dot + 1] = y[dot + 1] == 'x' ? 'y' : 'Y';
  return y;
}

}  // namespace

TableWriter::TableWriter(FileSystem& fs, const std::string& dir, const std::string& dbName,
                         const std::vector<SecondaryIndex>& secondaries)
    : fs_(fs), dir_(dir), dbName_(dbName), secondaryInfo_(secondaries) {
  data_ = std::make_unique<RecordWriter>(fs, dir + dbName);
  def_ = DefinitionOf(data_->Header(), secondaries);
  const bool keyed = def_.keyFields > 0;
  for (size_t k = 0; k < secondaries.size(); ++k) {
    Secondary s;
    s.index = def_.indexes[k];
    s.path = secondaries[k].path;
    if (keyed && Maintained(secondaries[k]) && fs.Exists(s.path)) {
      s.x = std::make_unique<RecordWriter>(fs, s.path);
      const size_t expected = IndexFieldBytes(def_, s.index) + def_.KeyBytes() + idx::kBlockNumberBytes;
      if (s.x->Header().recordSize != expected) s.x.reset();
    }
    if (!s.x) rebuildAll_ = true;
    secondaries_.push_back(std::move(s));
  }
}

TableWriter::~TableWriter() = default;

BlobFile& TableWriter::Blobs(const std::string& path) {
  if (blobs_) return *blobs_;
  if (fs_.Exists(path)) {
    blobs_ = BlobFile::Open(fs_, path, true);
    return *blobs_;
  }
  // A new .MB next to records that refer to a lost one would hand their places to new values.
  size_t offset = 0;
  for (const auto& f : def_.fields) {
    const size_t bytes = f.RecordBytes();
    if (IsBlobType(f.type))
      for (uint32_t row = 0; row < data_->Count(); ++row)
        if (BlobFile::StoredLength(data_->Record(row) + offset, bytes) > mb::LeaderBytes(bytes))
          Fail(kErrBlobMissing, path, "Die Memo-/BLOb-Datei fehlt, obwohl Datensätze auf sie verweisen; "
                                      "Memo- und BLOb-Werte können nicht gespeichert werden.");
    offset += bytes;
  }
  blobs_ = BlobFile::Create(fs_, path);
  return *blobs_;
}

bool TableWriter::Current() {
  if (!data_->Current()) return false;
  for (auto& s : secondaries_)
    if (s.x && !s.x->Current()) return false;
  return true;
}

std::string TableWriter::EntrySortKey(const Secondary& s, const uint8_t* xRecord) const {
  // The same bytes MakeSecondaryRecord orders by: folded index fields, then the key fields.
  const TableHeader& x = s.x->Header();
  std::string key;
  size_t offset = 0;
  std::vector<uint8_t> dbRecord(def_.RecordSize(), 0);
  size_t dbOffset = 0;
  std::vector<size_t> fieldOffsets;
  for (const auto& f : def_.fields) {
    fieldOffsets.push_back(dbOffset);
    dbOffset += f.RecordBytes();
  }
  for (int field : s.index.fields) {
    const size_t n = def_.fields[static_cast<size_t>(field)].RecordBytes();
    std::memcpy(dbRecord.data() + fieldOffsets[static_cast<size_t>(field)], xRecord + offset, n);
    offset += n;
  }
  std::memcpy(dbRecord.data(), xRecord + offset, def_.KeyBytes());
  return MakeSecondaryRecord(def_, s.index, x, dbRecord.data(), 0, 0, 0).sortKey;
}

uint32_t TableWriter::FindEntry(Secondary& s, const std::string& sortKey, const std::string& bytes, bool* found) {
  RecordWriter& x = *s.x;
  uint32_t lo = 0, hi = x.Count();
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (EntrySortKey(s, x.Record(mid)) < sortKey)
      lo = mid + 1;
    else
      hi = mid;
  }
  *found = false;
  const size_t compare = bytes.size() - 2;  // all but the block number
  for (uint32_t i = lo; i < x.Count(); ++i) {
    const uint8_t* r = x.Record(i);
    if (std::memcmp(r, bytes.data(), compare) == 0) {
      *found = true;
      return i;
    }
    if (EntrySortKey(s, r) != sortKey) break;
  }
  return lo;
}

void TableWriter::InsertEntry(Secondary& s, const uint8_t* record, uint16_t block) {
  const SecondaryRecord entry = MakeSecondaryRecord(def_, s.index, s.x->Header(), record, block, 0, 0);
  if (s.index.unique) {
    bool found = false;
    const uint32_t at = FindEntry(s, entry.sortKey, entry.bytes, &found);
    const size_t indexBytes = IndexFieldBytes(def_, s.index);
    if (at < s.x->Count() && EntrySortKey(s, s.x->Record(at)).compare(0, indexBytes, entry.sortKey, 0, indexBytes) == 0)
      Fail(kErrKeyViolation, dir_ + dbName_, "Schlüsselverletzung im eindeutigen Index „" + s.index.name + "“.");
  }
  bool found = false;
  const uint32_t at = FindEntry(s, entry.sortKey, entry.bytes, &found);
  s.x->Insert(at, reinterpret_cast<const uint8_t*>(entry.bytes.data()));
  s.changed = true;
}

void TableWriter::RemoveEntry(Secondary& s, const uint8_t* record) {
  const SecondaryRecord entry = MakeSecondaryRecord(def_, s.index, s.x->Header(), record, 0, 0, 0);
  bool found = false;
  const uint32_t at = FindEntry(s, entry.sortKey, entry.bytes, &found);
  if (found) {
    s.x->Remove(at);
    s.changed = true;
  } else {
    rebuildAll_ = true;  // an index file that disagrees with the data is rebuilt whole
  }
}

void TableWriter::SetEntryBlock(Secondary& s, const uint8_t* record, uint16_t block) {
  const SecondaryRecord entry = MakeSecondaryRecord(def_, s.index, s.x->Header(), record, block, 0, 0);
  bool found = false;
  const uint32_t at = FindEntry(s, entry.sortKey, entry.bytes, &found);
  if (found) {
    s.x->Replace(at, reinterpret_cast<const uint8_t*>(entry.bytes.data()));
    s.changed = true;
  } else {
    rebuildAll_ = true;
  }
}

uint32_t TableWriter::Insert(uint32_t row, const uint8_t* record) {
  keysChanged_ = true;
  data_->Insert(row, record);
  uint16_t block = 0;
  int slot = 0;
  data_->Locate(row, &block, &slot);
  for (auto& s : secondaries_)
    if (s.x) InsertEntry(s, record, block);
  return row;
}

void TableWriter::Replace(uint32_t row, const uint8_t* record) {
  const std::vector<uint8_t> old(data_->Record(row), data_->Record(row) + def_.RecordSize());
  uint16_t block = 0;
  int slot = 0;
  data_->Locate(row, &block, &slot);
  for (auto& s : secondaries_) {
    if (!s.x) continue;
    const SecondaryRecord before = MakeSecondaryRecord(def_, s.index, s.x->Header(), old.data(), block, 0, 0);
    const SecondaryRecord after = MakeSecondaryRecord(def_, s.index, s.x->Header(), record, block, 0, 0);
    if (before.bytes == after.bytes) continue;
    RemoveEntry(s, old.data());
    InsertEntry(s, record, block);
  }
  data_->Replace(row, record);
}

void TableWriter::Remove(uint32_t row) {
  const std::vector<uint8_t> old(data_->Record(row), data_->Record(row) + def_.RecordSize());
  for (auto& s : secondaries_)
    if (s.x) RemoveEntry(s, old.data());
  data_->Remove(row);
}

void TableWriter::Commit() {
  const auto moved = data_->TakeMoved();
  for (auto& s : secondaries_)
    if (s.x)
      for (const auto& [bytes, block] : moved) SetEntryBlock(s, reinterpret_cast<const uint8_t*>(bytes.data()), block);
  data_->Commit(-1, -1, keysChanged_);
  keysChanged_ = false;
  const TableHeader& db = data_->Header();
  uint8_t pxStamp = 0;
  if (def_.keyFields > 0) {
    // The .PX changes with the blocks' first keys and counts, and with the data file's 0x2D;
    // while no block joined or left the chain only the entries of the written blocks change.
    pxStamp = db.changeCount1;
    const std::string pxName = FindFileIgnoringCase(fs_, dir_, CompanionName(dbName_, "PX"));
    std::vector<std::pair<size_t, TreeEntry>> changed;
    if (!data_->ChangedEntries(def_.KeyBytes(), &changed) ||
        !primaryFile_.Update(fs_, dir_ + pxName, pxStamp, changed)) {
      TableHeader px = ExistingIndexHeader(fs_, dir_ + pxName, PrimaryIndexHeader(def_, pxName));
      px.stamp2C = pxStamp;
      primaryFile_.Write(fs_, dir_ + pxName, px, data_->BlockEntries(def_.KeyBytes()));
    }
  }
  if (rebuildAll_) {
    RebuildIndexFiles(fs_, dir_, dbName_, *data_, secondaryInfo_);
    primaryFile_ = TreeFileImage();
    for (auto& s : secondaries_) {
      if (s.x) s.x->Reload();
      s.changed = false;
      s.treeFile = TreeFileImage();
    }
    rebuildAll_ = std::any_of(secondaries_.begin(), secondaries_.end(), [](const Secondary& s) { return !s.x; });
    return;
  }
  for (auto& s : secondaries_) {
    RecordWriter& x = *s.x;
    x.TakeMoved();
    x.Commit(db.changeCount2, def_.keyFields > 0 ? pxStamp : -1, s.changed);
    const size_t keyBytes = x.Header().recordSize - idx::kLastFieldBytes;
    const std::string yName = FindFileIgnoringCase(fs_, dir_, TreeName(FileNameOf(s.path)));
    std::vector<std::pair<size_t, TreeEntry>> changed;
    if (!x.ChangedEntries(keyBytes, &changed) ||
        !s.treeFile.Update(fs_, dir_ + yName, x.Header().changeCount1, changed)) {
      TableHeader yh = ExistingIndexHeader(fs_, dir_ + yName, SecondaryTreeHeader(def_, x.Header(), yName));
      yh.stamp2C = x.Header().changeCount1;
      s.treeFile.Write(fs_, dir_ + yName, yh, x.BlockEntries(keyBytes));
    }
    s.changed = false;
  }
}

}  // namespace engine
