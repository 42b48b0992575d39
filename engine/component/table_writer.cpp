#include "component/table_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "component/edit_buffer.h"
#include "family/existing_definition.h"
#include "family/family_writer.h"
#include "family/index_maintenance.h"
#include "family/record_check.h"
#include "format/blob_block.h"
#include "format/family_names.h"
#include "format/index_block.h"
#include "format/value_codec.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/blob_file.h"
#include "storage/cipher_file_system.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/index_builder.h"

namespace engine {

namespace {

bool Maintained(const SecondaryIndex& s) { return s.maintained; }

// First stored row whose key is not less than `key` (rows in key order).
uint32_t LowerBound(RecordWriter& w, const std::vector<FieldLayout>& layout, size_t keyFields, const std::string& key) {
  return w.PartitionPoint([&](const uint8_t* record) { return NormalizedKey(record, layout, keyFields) < key; });
}

// Whether a blob field's value lives in the .MB (longer than the record's leader holds).
bool InBlobFile(const FieldLayout& f, const uint8_t* record) {
  return BlobFile::StoredLength(record + f.offset, f.bytes) > mb::LeaderBytes(f.bytes);
}

// The name of the tree file over index file `xPath` as folder `dir` spells it.
std::string TreeNameIn(FileSystem& fs, const std::string& dir, const std::string& xPath) {
  return FindFileIgnoringCase(fs, dir, TreeFileName(FileNameOf(xPath)));
}

}  // namespace

TableWriter::TableWriter(FileSystem& fs, const std::string& dir, const std::string& dbName,
                         const std::vector<SecondaryIndex>& secondaries, const DataFile* seen)
    : staged_(StoredFiles(fs), dir, dbName),
      unlocked_(WithKeyOf(fs, staged_)),
      fs_(unlocked_ ? *unlocked_ : staged_),
      dir_(dir), dbName_(dbName), secondaryInfo_(secondaries) {
  staged_.MakeJournalAhead();  // its directory sync runs while the writer is made
  // The .MB's free space is read while the chains are taken, when the reader tells the fields.
  if (seen) ReadBlobSpaceAhead(fs, seen->Header());
  // Without a reader's finished walk the chain comes from a .PX that agrees with the data file.
  const RecordWriter::ChainFromTree fromPx = [this](const TableHeader& h, std::vector<BlockEntry>* chain) {
    if (h.primaryKeyFields == 0) return false;
    return primaryFile_.AdoptChain(fs_, dir_ + PxName(), h.changeCount1, h.usedBlocks, chain);
  };
  data_ = std::make_unique<RecordWriter>(fs_, dir + dbName, seen, fromPx);
  def_ = DefinitionOf(data_->Header(), secondaries);
  layout_ = LayoutFields(data_->Header());
  if (!seen) ReadBlobSpaceAhead(fs, data_->Header());
  const bool keyed = def_.keyFields > 0;
  // A .PX that agrees with the chain is kept and changed entry by entry; one that does not is
  // written again from every block's first key, which the walk of the chain reads.
  if (!data_->ChainFromTreeTaken()) primaryFile_ = TreeFileImage();
  if (data_->ChainTaken() && !data_->ChainFromTreeTaken() && keyed) {
    if (!primaryFile_.Adopt(fs_, dir_ + PxName(), data_->Header().changeCount1, data_->Blocks())) data_->Reload();
  }
  for (size_t k = 0; k < secondaries.size(); ++k) {
    Secondary s;
    s.index = def_.indexes[k];
    s.path = secondaries[k].path;
    if (keyed && Maintained(secondaries[k]) && fs_.Exists(s.path)) {
      s.yName = TreeNameIn(fs_, dir_, s.path);
      const std::string yPath = dir_ + s.yName;
      // The index file's chain comes from its .Y when that agrees with it, from a walk otherwise.
      TreeFileImage& tree = s.treeFile;
      const RecordWriter::ChainFromTree fromY = [&](const TableHeader& h, std::vector<BlockEntry>* chain) {
        return tree.AdoptChain(fs_, yPath, h.changeCount1, h.usedBlocks, chain);
      };
      s.x = std::make_unique<RecordWriter>(fs_, s.path, nullptr, fromY);
      const size_t expected = IndexFieldBytes(def_, s.index) + def_.KeyBytes() + idx::kBlockNumberBytes;
      if (s.x->Header().recordSize != expected) s.x.reset();
    }
    if (!s.x || !s.x->ChainFromTreeTaken()) s.treeFile = TreeFileImage();
    if (s.x && !s.x->ChainFromTreeTaken())
      s.treeFile.Adopt(fs_, dir_ + s.yName, s.x->Header().changeCount1, s.x->Blocks());
    if (!s.x) rebuildAll_ = true;
    secondaries_.push_back(std::move(s));
  }
}

TableWriter::~TableWriter() = default;

void TableWriter::ReadBlobSpaceAhead(FileSystem& fs, const TableHeader& header) {
  // The operating system's files, which may be read from several threads; a protected table's
  // .MB reads through its key and is left to the first change.
  FileSystem& stored = StoredFiles(fs);
  if (unlocked_ || !stored.ConcurrentReads()) return;
  if (!HasBlobFields(LayoutFields(header))) return;
  const std::string path = dir_ + FindFileIgnoringCase(fs_, dir_, CompanionName(dbName_, "MB"));
  try {
    std::unique_ptr<File> copy = stored.Open(path, OpenMode::ReadOnly);
    if (copy->Size() > kBlobSpaceAheadLimit) return;  // left to the first change that needs it
    std::unique_ptr<BlobFile> blobs = BlobFile::Open(fs_, path, true);
    blobs->ReadSpaceAhead(std::move(copy));
    blobs_ = std::move(blobs);
  } catch (const EDBEngineError&) {
    // The first change that needs the .MB opens it and reports what is wrong.
  }
}

BlobFile& TableWriter::Blobs(const std::string& path) {
  if (blobs_) return *blobs_;
  if (fs_.Exists(path)) {
    blobs_ = BlobFile::Open(fs_, path, true);
    return *blobs_;
  }
  // A new .MB next to records that refer to a lost one would hand their places to new values.
  for (const FieldLayout& f : layout_)
    if (IsBlobType(f.type))
      for (uint32_t row = 0; row < data_->Count(); ++row)
        if (InBlobFile(f, data_->Record(row)))
          Fail(kErrBlobMissing, path, "Die Memo-/BLOb-Datei fehlt, obwohl Datensätze auf sie verweisen; "
                                      "Memo- und BLOb-Werte können nicht gespeichert werden.");
  blobs_ = BlobFile::Create(fs_, path);
  return *blobs_;
}

const std::string& TableWriter::PxName() {
  if (pxName_.empty()) pxName_ = FindFileIgnoringCase(fs_, dir_, CompanionName(dbName_, "PX"));
  return pxName_;
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
  size_t offset = 0;
  std::vector<uint8_t> dbRecord(def_.RecordSize(), 0);
  for (int field : s.index.fields) {
    const FieldLayout& f = layout_[static_cast<size_t>(field)];
    std::memcpy(dbRecord.data() + f.offset, xRecord + offset, f.bytes);
    offset += f.bytes;
  }
  std::memcpy(dbRecord.data(), xRecord + offset, def_.KeyBytes());
  return MakeSecondaryRecord(def_, s.index, x, dbRecord.data(), 0, 0, 0).sortKey;
}

uint32_t TableWriter::FindEntry(Secondary& s, const std::string& sortKey, const std::string& bytes, bool* found) {
  RecordWriter& x = *s.x;
  const uint32_t lo = x.PartitionPoint([&](const uint8_t* entry) { return EntrySortKey(s, entry) < sortKey; });
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

void TableWriter::KeyViolation(const std::string& what) const {
  Fail(kErrKeyViolation, dir_ + dbName_, "Schlüsselverletzung: " + what);
}

void TableWriter::AssignAutoIncrement(uint8_t* record, bool inserting) {
  TableHeader& h = data_->MutableHeader();
  for (const FieldLayout& f : layout_) {
    if (f.type != PxType::AutoInc) continue;
    uint8_t* p = record + f.offset;
    if (IsNullValue(f.type, p, f.bytes)) {
      if (!inserting) continue;
      if (h.autoInc >= 2147483647u)
        Fail(kErrUnsupported, dir_ + dbName_, "Der Zähler des Autoinkrement-Feldes ist erschöpft.");
      EncodeIntValue(static_cast<int32_t>(++h.autoInc), p, f.bytes);
    } else {
      const int32_t v = DecodeIntValue(p, f.bytes);
      if (v > 0 && static_cast<uint32_t>(v) > h.autoInc) h.autoInc = static_cast<uint32_t>(v);
    }
  }
}

uint32_t TableWriter::KeyedPlace(const uint8_t* record, const uint8_t* original, int64_t editedRow, bool* moves) {
  const auto keyFields = static_cast<size_t>(def_.keyFields);
  const std::string key = NormalizedKey(record, layout_, keyFields);
  if (original && key == NormalizedKey(original, layout_, keyFields)) {
    *moves = false;
    return static_cast<uint32_t>(editedRow);
  }
  const uint32_t at = LowerBound(*data_, layout_, keyFields, key);
  if (at < data_->Count() && static_cast<int64_t>(at) != editedRow &&
      NormalizedKey(data_->Record(at), layout_, keyFields) == key)
    KeyViolation("In der Tabelle gibt es schon einen Datensatz mit diesem Schlüssel.");
  *moves = true;
  // An edited record leaves its row first: places after it shift down by one.
  return original && static_cast<int64_t>(at) > editedRow ? at - 1 : at;
}

void TableWriter::CheckUniqueIndexes(const uint8_t* record, int64_t skipRow) {
  const TableHeader& h = data_->Header();
  for (size_t k = 0; k < secondaryInfo_.size(); ++k) {
    const SecondaryDef& index = secondaryInfo_[k].def;
    if (!index.unique) continue;
    if (uniqueKeys_.count(k) == 0) {
      // Every record's value, gathered once and kept in step by each change after it.
      std::unordered_multiset<std::string>& keys = uniqueKeys_[k];
      for (uint32_t row = 0; row < data_->Count(); ++row) keys.insert(IndexSortKey(index, h, data_->Record(row)));
    }
    const std::string mine = IndexSortKey(index, h, record);
    size_t taken = uniqueKeys_[k].count(mine);
    if (skipRow >= 0 && IndexSortKey(index, h, data_->Record(static_cast<uint32_t>(skipRow))) == mine) --taken;
    if (taken > 0) KeyViolation("Der eindeutige Index " + Quoted(index.name) + " enthält diesen Wert bereits.");
  }
}

void TableWriter::NoteUniqueKeys(const uint8_t* gone, const uint8_t* added) {
  const TableHeader& h = data_->Header();
  for (auto& [k, keys] : uniqueKeys_) {
    const SecondaryDef& index = secondaryInfo_[k].def;
    if (gone) {
      const auto it = keys.find(IndexSortKey(index, h, gone));
      if (it != keys.end()) keys.erase(it);
    }
    if (added) keys.insert(IndexSortKey(index, h, added));
  }
}

template <typename Change>
auto TableWriter::AsOneChange(const Change& change) {
  staged_.Begin();
  try {
    auto result = change();
    staged_.Apply();
    return result;
  } catch (...) {
    staged_.Discard();
    throw;
  }
}

TableWriter::Posted TableWriter::Post(const EditBuffer& edit, int64_t editedRow, int64_t insertBefore,
                                      const std::string& blobPath) {
  return AsOneChange([&] { return PostChange(edit, editedRow, insertBefore, blobPath); });
}

void TableWriter::Delete(uint32_t row, const std::string& blobPath) {
  AsOneChange([&] {
    DeleteChange(row, blobPath);
    return true;
  });
}

TableWriter::Posted TableWriter::PostChange(const EditBuffer& edit, int64_t editedRow, int64_t insertBefore,
                                            const std::string& blobPath) {
  const bool inserting = editedRow < 0;
  if (!inserting && static_cast<uint64_t>(editedRow) >= data_->Count())
    Fail(kErrNotFound, dir_ + dbName_, "Der bearbeitete Datensatz existiert nicht mehr.");
  std::vector<uint8_t> record = edit.record;
  AssignAutoIncrement(record.data(), inserting);
  std::vector<uint8_t> original;
  if (!inserting) {
    const uint8_t* old = data_->Record(static_cast<uint32_t>(editedRow));
    original.assign(old, old + def_.RecordSize());
  }

  // Where the record goes.
  uint32_t target = data_->Count();
  bool moves = inserting;
  if (def_.keyFields > 0) {
    target = KeyedPlace(record.data(), inserting ? nullptr : original.data(), editedRow, &moves);
  } else if (!inserting) {
    target = static_cast<uint32_t>(editedRow);
  } else if (insertBefore >= 0 && static_cast<uint64_t>(insertBefore) < data_->Count()) {
    target = static_cast<uint32_t>(insertBefore);
  }
  // Unique indexes of a table with key are checked entry by entry as the entries go in.
  if (def_.keyFields == 0) CheckUniqueIndexes(record.data(), editedRow);

  // Blob contents go to the .MB first; the old ones are freed only after the record is written.
  BlobFile* mb = nullptr;
  std::vector<std::vector<uint8_t>> toFree;
  for (const auto& [field, content] : edit.blobs) {
    const FieldLayout& f = layout_[static_cast<size_t>(field)];
    uint8_t* bytes = record.data() + f.offset;
    if (!inserting && InBlobFile(f, original.data()))
      toFree.emplace_back(original.begin() + static_cast<long>(f.offset),
                          original.begin() + static_cast<long>(f.offset + f.bytes));
    if (content.size() <= mb::LeaderBytes(f.bytes)) {
      // A value that fits in the record's leader needs no .MB.
      std::fill(bytes, bytes + f.bytes, uint8_t{0});
      std::copy(content.begin(), content.end(), bytes);
      coding::PutU32(bytes + mb::LeaderBytes(f.bytes) + mb::kDescLength, static_cast<uint32_t>(content.size()));
      continue;
    }
    if (!mb) mb = &Blobs(blobPath);
    mb->Write(content, f.type, bytes, f.bytes);
  }
  if (mb) mb->Sync();
  if (!toFree.empty() && !mb && fs_.Exists(blobPath)) mb = &Blobs(blobPath);
  if (mb)
    for (const auto& old : toFree) mb->CheckFree(old.data(), old.size());

  if (moves && !inserting) Remove(static_cast<uint32_t>(editedRow));
  if (moves)
    Insert(target, record.data());
  else
    Replace(target, record.data());
  Commit();
  if (mb) {
    for (const auto& old : toFree) mb->Free(old.data(), old.size());
    mb->Sync();
  }
  return Posted{editedRow, target};
}

void TableWriter::DeleteChange(uint32_t row, const std::string& blobPath) {
  const std::vector<uint8_t> old(data_->Record(row), data_->Record(row) + def_.RecordSize());
  // The values' .MB entries are checked before the record goes and freed after it has gone.
  std::vector<const FieldLayout*> stored;
  for (const FieldLayout& f : layout_)
    if (IsBlobType(f.type) && InBlobFile(f, old.data())) stored.push_back(&f);
  BlobFile* mb = !stored.empty() && fs_.Exists(blobPath) ? &Blobs(blobPath) : nullptr;
  if (mb)
    for (const FieldLayout* f : stored) mb->CheckFree(old.data() + f->offset, f->bytes);
  Remove(row);
  Commit();
  if (!mb) return;
  for (const FieldLayout* f : stored) mb->Free(old.data() + f->offset, f->bytes);
  mb->Sync();
}

uint32_t TableWriter::Insert(uint32_t row, const uint8_t* record) {
  keysChanged_ = true;
  NoteUniqueKeys(nullptr, record);
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
  NoteUniqueKeys(old.data(), record);
  data_->Replace(row, record);
}

void TableWriter::Remove(uint32_t row) {
  const std::vector<uint8_t> old(data_->Record(row), data_->Record(row) + def_.RecordSize());
  for (auto& s : secondaries_)
    if (s.x) RemoveEntry(s, old.data());
  NoteUniqueKeys(old.data(), nullptr);
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
    const std::string& pxName = PxName();
    std::vector<TreeEdit> edits;
    std::vector<std::pair<size_t, TreeEntry>> changed;
    if (!data_->ChangedEntries(def_.KeyBytes(), &edits, &changed) ||
        !primaryFile_.Update(fs_, dir_ + pxName, pxStamp, edits, changed)) {
      pxName_.clear();  // looked up again: another program may have written the file anew
      const std::string& name = PxName();
      TableHeader px = ExistingIndexHeader(fs_, dir_ + name, PrimaryIndexHeader(def_, name));
      px.stamp2C = pxStamp;
      primaryFile_.Write(fs_, dir_ + name, px, data_->BlockEntries(def_.KeyBytes()));
    }
  }
  if (rebuildAll_) {
    RebuildIndexFiles(fs_, dir_, dbName_, *data_, secondaryInfo_);
    primaryFile_ = TreeFileImage();
    pxName_.clear();
    for (auto& s : secondaries_) {
      if (s.x) {
        s.yName = TreeNameIn(fs_, dir_, s.path);
        s.x->Reload();
      }
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
    std::vector<TreeEdit> edits;
    std::vector<std::pair<size_t, TreeEntry>> changed;
    if (!x.ChangedEntries(keyBytes, &edits, &changed) ||
        !s.treeFile.Update(fs_, dir_ + s.yName, x.Header().changeCount1, edits, changed)) {
      s.yName = TreeNameIn(fs_, dir_, s.path);  // as the .PX's name above
      TableHeader yh = ExistingIndexHeader(fs_, dir_ + s.yName, SecondaryTreeHeader(def_, x.Header(), s.yName));
      yh.stamp2C = x.Header().changeCount1;
      s.treeFile.Write(fs_, dir_ + s.yName, yh, x.BlockEntries(keyBytes));
    }
    s.changed = false;
  }
}

}  // namespace engine
