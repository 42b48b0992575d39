#include "family/family_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "family/temporary_names.h"
#include "format/family_names.h"
#include "format/index_block.h"
#include "format/value_codec.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/blob_file.h"
#include "storage/index_builder.h"

namespace engine {

namespace {

constexpr size_t kMaxBlocks = 0xFFFF;

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

void CheckBlockCount(size_t blocks, const std::string& path) {
  if (blocks > kMaxBlocks)
    Fail(kErrUnsupported, path, "Die Tabelle bräuchte mehr als 65535 Blöcke; eine größere Blockgröße ist nötig.");
}

// Puts the records into the order of `keys` (primary-key bytes); false, changing nothing, when
// the keys do not name every record exactly once.
bool KeepOrder(std::vector<SecondaryRecord>& records, const std::vector<std::string>& keys, size_t indexBytes,
               size_t keyBytes) {
  if (keys.empty() || keys.size() != records.size() || keyBytes == 0) return false;
  std::unordered_map<std::string, size_t> byKey;
  for (size_t i = 0; i < records.size(); ++i)
    if (!byKey.emplace(records[i].bytes.substr(indexBytes, keyBytes), i).second) return false;
  std::vector<SecondaryRecord> ordered;
  ordered.reserve(records.size());
  for (const auto& key : keys) {
    auto it = byKey.find(key);
    if (it == byKey.end()) return false;
    ordered.push_back(records[it->second]);
    byKey.erase(it);
  }
  records.swap(ordered);
  return true;
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
  const uint16_t recordSize = def.RecordSize();
  const size_t keyBytes = def.KeyBytes();

  TableHeader dbHeader = DataHeader(def, dbName);
  dbHeader.headerSize = static_cast<uint16_t>(EncodeTableHeader(dbHeader).size());
  written.Add(dbPath, dbName);
  auto dbFile = fs.Open(dbPath, OpenMode::CreateTruncate);
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
  std::vector<std::vector<SecondaryRecord>> secondary(def.indexes.size());

  BulkBlockWriter blocks(*dbFile, recordSize, dbHeader.BlockBytes(), dbHeader.headerSize);
  uint32_t autoInc = def.autoInc;
  SourceRecord rec;
  std::string previousKey;
  uint64_t count = 0;
  while (true) {
    rec.bytes.assign(recordSize, 0);
    rec.blobs.clear();
    if (!source(rec)) break;
    if (rec.bytes.size() != recordSize)
      Fail(kErrInvalidParam, dbPath, "Ein Datensatz hat nicht die Länge der Tabelle.");
    for (size_t i = 0; i < places.size(); ++i) {
      const FieldPlace& p = places[i];
      uint8_t* field = rec.bytes.data() + p.offset;
      if (IsBlobType(p.type)) {
        auto it = rec.blobs.find(static_cast<int>(i));
        const std::string empty;
        mb->Write(it == rec.blobs.end() ? empty : it->second, p.type, field, p.bytes);
      } else if (p.type == PxType::AutoInc && !IsNullValue(p.type, field, p.bytes)) {
        const int32_t v = DecodeIntValue(field, p.bytes);
        if (v > 0) autoInc = std::max(autoInc, static_cast<uint32_t>(v));
      }
    }
    if (keyBytes > 0) {
      std::string key(reinterpret_cast<const char*>(rec.bytes.data()), keyBytes);
      if (count > 0 && key == previousKey)
        Fail(kErrKeyViolation, dbPath, "Schlüsselverletzung: Der Schlüssel von Datensatz " +
                                           std::to_string(count + 1) + " kommt doppelt vor.");
      previousKey = std::move(key);
    }
    int slot = 0;
    const uint16_t block = blocks.Add(rec.bytes.data(), &slot);
    CheckBlockCount(block, dbPath);
    for (size_t k = 0; k < def.indexes.size(); ++k)
      secondary[k].push_back(MakeSecondaryRecord(def, def.indexes[k], xHeaders[k], rec.bytes.data(), block,
                                                 slot, static_cast<uint32_t>(count)));
    ++count;
    if (progress && !progress(count)) throw EAbort();
  }
  const std::vector<TreeEntry> entries = blocks.Finish(keyBytes);
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

  for (size_t k = 0; k < def.indexes.size(); ++k) {
    const SecondaryDef& ix = def.indexes[k];
    TableHeader& xh = xHeaders[k];
    const std::string xName = companion(ix.extension);
    const std::string yName = companion(TreeExtension(ix.extension));
    if (!(k < keep.size() && KeepOrder(secondary[k], keep[k], IndexFieldBytes(def, ix), keyBytes)) &&
        !SortSecondaryRecords(secondary[k], ix.unique, IndexFieldBytes(def, ix)))
      Fail(kErrKeyViolation, dbPath, "Schlüsselverletzung im eindeutigen Index „" + ix.name + "“.");
    written.Add(dir + xName + suffix, xName);
    auto xFile = fs.Open(dir + xName + suffix, OpenMode::CreateTruncate);
    BulkBlockWriter xBlocks(*xFile, xh.recordSize, xh.BlockBytes(), xh.headerSize);
    for (const auto& r : secondary[k]) {
      const uint16_t b = xBlocks.Add(reinterpret_cast<const uint8_t*>(r.bytes.data()));
      CheckBlockCount(b, dir + xName);
    }
    std::vector<SecondaryRecord>().swap(secondary[k]);
    const std::vector<TreeEntry> xEntries = xBlocks.Finish(xh.recordSize - idx::kLastFieldBytes);
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
