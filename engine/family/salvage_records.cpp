#include "family/salvage_records.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "family/record_check.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "format/data_block.h"
#include "format/record_format.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/blob_file.h"
#include "storage/chain_scan.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

struct Found {
  std::vector<uint8_t> bytes;
  std::string place;
  std::string key;  // NormalizedKey of the bytes for a keyed table
};

// Whole records of a block read straight from the file; records the end of the file cuts are
// listed as dropped.
void ReadBlock(const File& file, const TableHeader& h, uint16_t block, uint64_t* number, std::vector<Found>& out,
               std::vector<std::string>& dropped) {
  const int count = BlockRecordCount(file, h, block);
  for (int i = 0; i < count; ++i) {
    ++*number;
    Found f;
    f.place = RecordPlace(*number, block);
    f.bytes.resize(h.recordSize);
    const uint64_t at = h.BlockOffset(block) + blk::kHeaderBytes + static_cast<uint64_t>(i) * h.recordSize;
    if (file.ReadAt(at, f.bytes.data(), h.recordSize) < h.recordSize) {
      dropped.push_back(f.place + ": vom Dateiende abgeschnitten; nicht übernommen.");
      continue;
    }
    out.push_back(std::move(f));
  }
}

// The records of the chain (as the table reads them when the chain is whole, else up to its
// fault) and of the blocks outside the chain and the free list.
std::vector<Found> CollectRecords(FileSystem& fs, const std::string& dir, const std::string& dbName,
                                  const TableHeader& h, SalvagedRecords& result) {
  const auto file = fs.Open(dir + dbName, OpenMode::ReadOnly);
  const ChainScan scan = ScanChain(*file, h);
  std::vector<Found> found;
  uint64_t number = 0;
  if (!scan.broken) {
    auto cursor = TableCursor::Open(fs, dir, dbName);
    for (uint32_t row = 0; row < cursor->RowCount(); ++row) {
      uint32_t present = 0;
      const uint8_t* record = cursor->Data().Record(row, &present);
      Found f;
      f.place = "Datensatz " + std::to_string(row + 1);
      if (present < h.recordSize) {
        result.dropped.push_back(f.place + ": vom Dateiende abgeschnitten; nicht übernommen.");
        continue;
      }
      f.bytes.assign(record, record + h.recordSize);
      found.push_back(std::move(f));
    }
    number = cursor->RowCount();
  } else {
    for (uint16_t block : scan.chain) ReadBlock(*file, h, block, &number, found, result.dropped);
  }
  for (uint16_t block : scan.lost) {
    const size_t before = found.size();
    ReadBlock(*file, h, block, &number, found, result.dropped);
    result.relinked.push_back("Block " + std::to_string(block) + ": " + std::to_string(found.size() - before) +
                              " Datensätze wieder in die Kette aufgenommen.");
  }
  return found;
}

// Sorts a keyed table's records by key where the order is byte order and leaves out each record
// whose key came before.
void KeepUniqueKeys(std::vector<Found>& found, const TableHeader& h, const std::vector<FieldLayout>& layout,
                    SalvagedRecords& result) {
  for (auto& f : found) f.key = NormalizedKey(f.bytes.data(), layout, h.primaryKeyFields);
  if (KeysAreBytewise(h))
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.key < b.key; });
  std::vector<Found> unique;
  for (auto& f : found) {
    if (!unique.empty() && unique.back().key == f.key) {
      result.dropped.push_back(f.place + ": Schlüssel wie " + unique.back().place + "; nicht übernommen.");
      continue;
    }
    unique.push_back(std::move(f));
  }
  found.swap(unique);
}

// Reads blob values from the table's .MB, opened on first need; a value that cannot be read is
// set to null.
class BlobReader {
 public:
  BlobReader(FileSystem& fs, const std::string& path) : fs_(fs), path_(path) {}

  // Puts the content of the blob field at `p` into `record`; returns why it could not (the
  // field then nulled), empty when it could.
  std::string Take(int field, const FieldLayout& l, SourceRecord& record) {
    uint8_t* p = record.bytes.data() + l.offset;
    if (BlobFile::StoredLength(p, l.bytes) == 0) return "";
    std::string failure;
    try {
      std::string content;
      if (!BlobFile::ReadFromLeader(p, l.bytes, &content)) content = Opened().Read(p, l.bytes);
      record.blobs[field] = std::move(content);
    } catch (const EDBEngineError& e) {
      failure = e.what();
      std::memset(p, 0, l.bytes);
    }
    return failure;
  }

 private:
  const BlobFile& Opened() {
    if (!openFailure_.empty()) FailPlain(kErrBlobMissing, openFailure_);
    if (!blobs_) {
      try {
        blobs_ = BlobFile::Open(fs_, path_, false);
      } catch (const EDBEngineError& e) {
        openFailure_ = e.what();
        throw;
      }
    }
    return *blobs_;
  }

  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<BlobFile> blobs_;
  std::string openFailure_;
};

}  // namespace

SalvagedRecords SalvageRecords(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  const TableHeader h = ReadTableHeader(fs, dir + dbName);
  SalvagedRecords result;
  std::vector<Found> found = CollectRecords(fs, dir, dbName, h, result);
  const std::vector<FieldLayout> layout = LayoutFields(h);
  if (h.primaryKeyFields > 0) KeepUniqueKeys(found, h, layout, result);
  BlobReader blobs(fs, dir + FindFileIgnoringCase(fs, dir, BaseNameOf(dbName) + ".MB"));
  const CodePage& codePage = CodePage::ForHeader(h);
  auto fieldPlace = [&](const Found& f, size_t i) {
    return f.place + ", Feld " + Quoted(codePage.ToUtf8(h.fields[i].name));
  };
  for (auto& f : found) {
    SourceRecord record;
    record.bytes = std::move(f.bytes);
    for (size_t i = 0; i < layout.size(); ++i) {
      if (!IsBlobType(layout[i].type)) {
        if (!ValueIsReadable(layout[i], record.bytes.data()))
          result.unreadable.push_back(fieldPlace(f, i) + ": nicht lesbar; unverändert übernommen.");
        continue;
      }
      const std::string failure = blobs.Take(static_cast<int>(i), layout[i], record);
      if (!failure.empty()) result.blobsCleared.push_back(fieldPlace(f, i) + ": BLOb-Verweis geleert (" + failure + ").");
    }
    result.records.push_back(std::move(record));
  }
  return result;
}

}  // namespace engine
