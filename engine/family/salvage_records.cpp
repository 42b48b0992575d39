#include "family/salvage_records.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "family/record_check.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "format/record_format.h"
#include "format/value_codec.h"
#include "io/engine_error.h"
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
  std::string key;  // KeyOf(bytes) for a keyed table
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
    const uint64_t at = h.BlockOffset(block) + 6 + static_cast<uint64_t>(i) * h.recordSize;
    if (file.ReadAt(at, f.bytes.data(), h.recordSize) < h.recordSize) {
      dropped.push_back(f.place + ": vom Dateiende abgeschnitten; nicht übernommen.");
      continue;
    }
    out.push_back(std::move(f));
  }
}

// Key bytes of a record with the stale bytes after each alpha value's end cleared.
std::string KeyOf(const std::vector<uint8_t>& record, const std::vector<FieldLayout>& layout, size_t keyFields) {
  std::string key;
  for (size_t f = 0; f < keyFields; ++f) {
    const FieldLayout& l = layout[f];
    std::string part(reinterpret_cast<const char*>(record.data()) + l.offset, l.bytes);
    if (l.type == PxType::Alpha) {
      const size_t end = part.find('\0');
      if (end != std::string::npos) std::fill(part.begin() + static_cast<long>(end), part.end(), '\0');
    }
    key += part;
  }
  return key;
}

bool KeysAreBytewise(const TableHeader& h) {
  for (size_t i = 0; i < h.primaryKeyFields; ++i)
    if (h.fields[i].type == PxType::Alpha)
      return h.HasExtension() ? UpperAscii(h.sortOrderId) == "ASCII" : h.sortOrder == 0;
  return true;
}

}  // namespace

SalvagedRecords SalvageRecords(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  const std::string path = dir + dbName;
  const TableHeader h = ReadTableHeader(fs, path);
  const auto file = fs.Open(path, OpenMode::ReadOnly);
  const ChainScan scan = ScanChain(*file, h);
  SalvagedRecords result;
  std::vector<Found> found;
  uint64_t number = 0;
  if (!scan.broken) {
    // The chain is whole: its records as the table reads them (cut to the header's count).
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
  const std::vector<FieldLayout> layout = LayoutFields(h);
  if (h.primaryKeyFields > 0) {
    for (auto& f : found) f.key = KeyOf(f.bytes, layout, h.primaryKeyFields);
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
  // Blob values: read what can be read, null the rest.
  const std::string blobName = FindFileIgnoringCase(fs, dir, BaseNameOf(dbName) + ".MB");
  std::unique_ptr<BlobFile> blobs;
  std::string blobFailure;
  const CodePage& codePage = CodePage::ForHeader(h);
  for (auto& f : found) {
    SourceRecord record;
    record.bytes = std::move(f.bytes);
    for (size_t i = 0; i < layout.size(); ++i) {
      const FieldLayout& l = layout[i];
      uint8_t* p = record.bytes.data() + l.offset;
      const std::string field = ", Feld " + Quoted(codePage.ToUtf8(h.fields[i].name));
      if (!IsBlobType(l.type)) {
        if ((l.type == PxType::Bcd || l.type == PxType::Timestamp) && !IsNullValue(l.type, p, l.bytes) &&
            (l.type == PxType::Bcd ? !DecodeBcdValue(p, l.sizeByte) : !TimestampMilliseconds(DecodeDoubleValue(p))))
          result.unreadable.push_back(f.place + field + ": nicht lesbar; unverändert übernommen.");
        continue;
      }
      if (BlobFile::StoredLength(p, l.bytes) == 0) continue;
      std::string content;
      if (BlobFile::ReadFromLeader(p, l.bytes, &content)) {
        record.blobs[static_cast<int>(i)] = std::move(content);
        continue;
      }
      std::string failure;
      try {
        if (!blobs && blobFailure.empty()) blobs = BlobFile::Open(fs, dir + blobName, false);
        if (blobs) record.blobs[static_cast<int>(i)] = blobs->Read(p, l.bytes);
      } catch (const EDBEngineError& e) {
        (blobs ? failure : blobFailure) = e.what();
      }
      if (!blobs) failure = blobFailure;
      if (failure.empty()) continue;
      std::memset(p, 0, l.bytes);
      result.blobsCleared.push_back(f.place + field + ": BLOb-Verweis geleert (" + failure + ").");
    }
    result.records.push_back(std::move(record));
  }
  return result;
}

}  // namespace engine
