#include "family/family_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "family/temporary_names.h"
#include "format/blob_block.h"
#include "format/family_names.h"
#include "format/index_block.h"
#include "format/value_codec.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/blob_file.h"
#include "storage/index_builder.h"
#include "storage/index_entries.h"

namespace engine {

namespace {

struct FieldPlace {
  size_t offset;
  size_t bytes;
  PxType type;
};

// Tracks written files so that a failure removes them all, and the work mark with them.
class WrittenFiles {
 public:
  WrittenFiles(FileSystem& fs, std::string dir, std::string dbName)
      : fs_(fs), dir_(std::move(dir)), dbName_(std::move(dbName)) {
    MarkWork(fs_, dir_, dbName_);
  }
  ~WrittenFiles() {
    if (committed_) return;
    for (const auto& f : files_) {
      try {
        if (fs_.Exists(f.path)) fs_.Remove(f.path);
      } catch (...) {
        // Cleaning up after a failure must not hide it, nor leave this destructor; a leftover
        // is removed by the next run.
      }
    }
    UnmarkWorkIfSettled(fs_, dir_, dbName_);
  }
  void Add(const std::string& path, const std::string& finalName) { files_.push_back({path, finalName}); }
  std::vector<WrittenFile> Commit() {
    committed_ = true;
    return files_;
  }

 private:
  FileSystem& fs_;
  std::string dir_;
  std::string dbName_;
  std::vector<WrittenFile> files_;
  bool committed_ = false;
};

// Leaves in a blob field (at least a descriptor long) only the value its leader holds whole, as
// a fresh .MB's table holds it: length and leader bytes, no reference; any other value becomes
// null.
void KeepLeaderValue(uint8_t* field, size_t bytes) {
  const uint32_t length = BlobFile::StoredLength(field, bytes);
  const size_t leader = mb::LeaderBytes(bytes);
  if (length > leader)
    std::memset(field, 0, bytes);
  else
    BlobFile::EndLeaderValue(field, bytes, length);
}

}  // namespace

std::vector<WrittenFile> WriteFamily(FileSystem& fs, const TableDefinition& def, const std::string& dir,
                                     const std::string& dbName, const std::string& suffix,
                                     const RecordSource& source, const ProgressFn& progress,
                                     const KeptOrders& keep, const CompanionNamer& namer) {
  WrittenFiles written(fs, dir, dbName);
  const auto companion = [&](const std::string& extension) {
    const std::string name = CompanionName(dbName, extension);
    return namer ? namer(name) : name;
  };
  const std::string dbPath = dir + dbName + suffix;
  std::vector<FieldPlace> places;
  size_t offset = 0;
  for (const auto& f : def.fields) {
    places.push_back({offset, f.RecordBytes(), f.type});
    offset += f.RecordBytes();
  }
  std::vector<size_t> blobFields, autoIncFields;
  for (size_t i = 0; i < places.size(); ++i) {
    if (IsBlobType(places[i].type)) blobFields.push_back(i);
    if (places[i].type == PxType::AutoInc) autoIncFields.push_back(i);
  }
  const uint16_t recordSize = def.RecordSize();
  const size_t keyBytes = def.KeyBytes();

  TableHeader dbHeader = DataHeader(def, dbName);
  dbHeader.headerSize = static_cast<uint16_t>(EncodeTableHeader(dbHeader).size());
  written.Add(dbPath, dbName);
  auto dbFile = fs.Open(dbPath, OpenMode::CreateTruncate);
  WriteLayoutFirst(*dbFile, dbHeader);
  std::unique_ptr<BlobFile> mb;
  std::string mbPath;
  if (def.HasBlobs()) {
    mbPath = dir + companion("MB") + suffix;
    written.Add(mbPath, companion("MB"));
    mb = BlobFile::Create(fs, mbPath, BlobNumbering::AllOne);
  }

  std::vector<TableHeader> xHeaders;
  for (const auto& ix : def.indexes) {
    TableHeader xh = SecondaryDataHeader(def, ix, companion(ix.extension));
    xh.headerSize = static_cast<uint16_t>(EncodeTableHeader(xh).size());
    xHeaders.push_back(std::move(xh));
  }
  std::vector<SecondaryEntries> secondary;
  secondary.reserve(def.indexes.size());
  for (size_t k = 0; k < def.indexes.size(); ++k) secondary.emplace_back(def, def.indexes[k], xHeaders[k].recordSize);

  BulkBlockWriter blocks(*dbFile, recordSize, dbHeader.BlockBytes(), dbHeader.headerSize, keyBytes);
  uint32_t autoInc = def.autoInc;
  SourceRecord rec;
  std::vector<uint8_t> previousKey(keyBytes);
  uint64_t count = 0;
  while (true) {
    rec.bytes.assign(recordSize, 0);
    rec.blobs.clear();
    if (!source(rec)) break;
    if (rec.bytes.size() != recordSize)
      Fail(kErrInvalidParam, dbPath, "Ein Datensatz hat nicht die Länge der Tabelle.");
    for (const size_t i : blobFields) {
      const FieldPlace& p = places[i];
      uint8_t* field = rec.bytes.data() + p.offset;
      const auto it = rec.blobs.find(static_cast<int>(i));
      if (it != rec.blobs.end())
        mb->Write(it->second, p.type, field, p.bytes);
      else if (p.bytes < mb::kDescriptorSize)
        mb->Write({}, p.type, field, p.bytes);  // refuses a field too short for its descriptor
      else
        KeepLeaderValue(field, p.bytes);
    }
    for (const size_t i : autoIncFields) {
      const FieldPlace& p = places[i];
      const uint8_t* field = rec.bytes.data() + p.offset;
      if (IsNullValue(p.type, field, p.bytes)) continue;
      const int32_t v = DecodeIntValue(field, p.bytes);
      if (v > 0) autoInc = std::max(autoInc, static_cast<uint32_t>(v));
    }
    if (keyBytes > 0) {
      if (count > 0 && std::memcmp(rec.bytes.data(), previousKey.data(), keyBytes) == 0)
        Fail(kErrKeyViolation, dbPath, "Schlüsselverletzung: Der Schlüssel von Datensatz " +
                                           std::to_string(count + 1) + " kommt doppelt vor.");
      std::memcpy(previousKey.data(), rec.bytes.data(), keyBytes);
    }
    int slot = 0;
    const uint16_t block = blocks.Add(rec.bytes.data(), &slot);
    for (auto& entries : secondary) entries.Add(rec.bytes.data(), block, slot, static_cast<uint32_t>(count));
    ++count;
    if (progress && !progress(count)) throw EAbort();
  }
  std::vector<TreeEntry> entries = blocks.Finish(keyBytes);
  SetBulkCounters(dbHeader, entries, blocks.Records());
  dbHeader.autoInc = autoInc;
  const std::vector<uint8_t> dbHead = EncodeTableHeader(dbHeader);
  dbFile->WriteAt(0, dbHead.data(), dbHead.size());
  dbFile->Sync();
  if (mb) mb->Sync();

  if (def.keyFields > 0) {
    const std::string name = companion("PX");
    written.Add(dir + name + suffix, name);
    auto px = fs.Open(dir + name + suffix, OpenMode::CreateTruncate);
    WriteTreeFile(*px, PrimaryIndexHeader(def, name), entries);
    px->Sync();
  }
  std::vector<TreeEntry>().swap(entries);  // room for the secondary indexes' files

  for (size_t k = 0; k < def.indexes.size(); ++k) {
    const SecondaryDef& ix = def.indexes[k];
    TableHeader& xh = xHeaders[k];
    const std::string xName = companion(ix.extension);
    const std::string yName = companion(TreeExtension(ix.extension));
    if (!(k < keep.size() && secondary[k].KeepOrder(keep[k])) && !secondary[k].Sort(ix.unique))
      Fail(kErrKeyViolation, dbPath, "Schlüsselverletzung im eindeutigen Index „" + ix.name + "“.");
    written.Add(dir + xName + suffix, xName);
    auto xFile = fs.Open(dir + xName + suffix, OpenMode::CreateTruncate);
    WriteLayoutFirst(*xFile, xh);
    const size_t xKeyBytes = xh.recordSize - idx::kLastFieldBytes;
    BulkBlockWriter xBlocks(*xFile, xh.recordSize, xh.BlockBytes(), xh.headerSize, xKeyBytes);
    SecondaryEntries::Reader ordered(secondary[k]);
    while (const uint8_t* r = ordered.Next()) xBlocks.Add(r);
    secondary[k].Clear();
    const std::vector<TreeEntry> xEntries = xBlocks.Finish(xKeyBytes);
    SetBulkCounters(xh, xEntries, xBlocks.Records());
    const std::vector<uint8_t> xHead = EncodeTableHeader(xh);
    xFile->WriteAt(0, xHead.data(), xHead.size());
    xFile->Sync();
    written.Add(dir + yName + suffix, yName);
    auto yFile = fs.Open(dir + yName + suffix, OpenMode::CreateTruncate);
    WriteTreeFile(*yFile, SecondaryTreeHeader(def, xh, yName), xEntries);
    yFile->Sync();
  }
  return written.Commit();
}

}  // namespace engine
