#include "family/index_maintenance.h"

#include <algorithm>

#include "family/existing_definition.h"
#include "family/family_writer.h"
#include "format/family_names.h"
#include "format/index_block.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/index_builder.h"
#include "storage/record_writer.h"

namespace engine {

void RebuildIndexFiles(FileSystem& fs, const std::string& dir, const std::string& dbName,
                       RecordWriter& writer, const std::vector<SecondaryIndex>& secondaries) {
  const TableHeader& db = writer.Header();
  const TableDefinition def = DefinitionOf(db, secondaries);
  uint8_t pxStamp = 0;
  if (def.keyFields > 0) {
    const std::string pxName = FindFileIgnoringCase(fs, dir, CompanionName(dbName, "PX"));
    TableHeader px = ExistingIndexHeader(fs, dir + pxName, PrimaryIndexHeader(def, pxName));
    px.stamp2C = db.changeCount1;
    pxStamp = px.stamp2C;
    auto file = fs.Open(dir + pxName, fs.Exists(dir + pxName) ? OpenMode::ReadWrite : OpenMode::CreateTruncate);
    WriteTreeFile(*file, px, writer.BlockEntries(def.KeyBytes()));
    file->Sync();
  }
  if (secondaries.empty()) return;
  DataFile data(fs.Open(writer.Path(), OpenMode::ReadOnly), db);
  std::vector<std::vector<SecondaryRecord>> records(def.indexes.size());
  std::vector<TableHeader> xHeaders;
  for (size_t k = 0; k < def.indexes.size(); ++k) {
    const std::string& path = secondaries[k].path;
    TableHeader fresh = SecondaryDataHeader(def, def.indexes[k], FileNameOf(path));
    TableHeader xh = ExistingIndexHeader(fs, path, fresh);
    if (xh.headerSize == 0) xh.headerSize = static_cast<uint16_t>(EncodeTableHeader(xh).size());
    xHeaders.push_back(std::move(xh));
  }
  uint32_t number = 0;
  const size_t rs = db.recordSize;
  for (size_t i = 0; i < data.Blocks().size(); ++i) {
    const BlockEntry& e = data.Blocks()[i];
    const uint8_t* recs = data.BlockRecords(i);
    for (uint32_t slot = 0; slot < e.count; ++slot, ++number)
      for (size_t k = 0; k < def.indexes.size(); ++k)
        records[k].push_back(MakeSecondaryRecord(def, def.indexes[k], xHeaders[k], recs + slot * rs, e.block,
                                                 static_cast<int>(slot), number));
  }
  for (size_t k = 0; k < def.indexes.size(); ++k) {
    TableHeader& xh = xHeaders[k];
    SortSecondaryRecords(records[k], false, 0);
    const std::string& xPath = secondaries[k].path;
    auto xFile = fs.Open(xPath, OpenMode::CreateTruncate);
    WriteLayoutFirst(*xFile, xh);
    BulkBlockWriter blocks(*xFile, xh.recordSize, xh.BlockBytes(), xh.headerSize);
    for (const auto& r : records[k]) blocks.Add(reinterpret_cast<const uint8_t*>(r.bytes.data()));
    std::vector<SecondaryRecord>().swap(records[k]);
    const std::vector<TreeEntry> entries = blocks.Finish(xh.recordSize - idx::kLastFieldBytes);
    SetBulkCounters(xh, entries, blocks.Records());
    xh.changeCount1 = static_cast<uint8_t>(xh.changeCount1 + 1);
    xh.changeCount2 = db.changeCount2;
    if (def.keyFields > 0) xh.stamp2F = pxStamp;
    const std::vector<uint8_t> head = EncodeTableHeader(xh);
    xFile->WriteAt(0, head.data(), head.size());
    xFile->Sync();
    const std::string xName = FileNameOf(xPath);
    const std::string yName = FindFileIgnoringCase(fs, dir, TreeFileName(xName));
    TableHeader yh = ExistingIndexHeader(fs, dir + yName, SecondaryTreeHeader(def, xh, yName));
    yh.stamp2C = xh.changeCount1;
    auto yFile = fs.Open(dir + yName, OpenMode::CreateTruncate);
    WriteTreeFile(*yFile, yh, entries);
    yFile->Sync();
  }
}

}  // namespace engine
