#include "family/restructure.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "family/existing_definition.h"
#include "family/family_swap.h"
#include "family/foreign_locks.h"
#include "family/temporary_names.h"
#include "family/table_access.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/index_block.h"
#include "format/table_definition.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/index_builder.h"
#include "storage/secondary_index.h"
#include "storage/sequential_blocks.h"

namespace engine {

namespace {

// Language-driver names of the sort-order bytes that level-3 tables carry without a name.
std::string SortOrderName(uint8_t sortOrder) {
  switch (sortOrder) {
    case 0x00: return "ascii";
    case 0xB7: return "intl";
    case 0x54: return "intl850";
    case 0x82: return "nordan";
    case 0xE6: return "nordan40";
    case 0xF0: return "swedfin";
    default: return "";
  }
}

// Applies a target format to a definition read from a table and checks the result.
void ApplyFormat(TableDefinition& def, const TableFormat& format, int sourceLevel, const std::string& path) {
  def.level = format.level != 0 ? format.level : sourceLevel;
  if (format.blockBytes != 0) {
    const int b = format.blockBytes;
    if (b != 1024 && b != 2048 && b != 4096 && b != 16384 && b != 32768)
      Fail(kErrUnsupported, path, "Die Blockgröße " + std::to_string(b) +
                                      " ist nicht möglich (1024, 2048, 4096, 16384 oder 32768).");
    def.blockSizeKiB = static_cast<uint8_t>(b / 1024);
  } else if (def.blockSizeKiB == 3) {
    // 3 KiB blocks are a relic of old versions that newer software does not write.
    def.blockSizeKiB = 4;
  }
  if (def.level == 3) {
    if (def.codePage != 437 && def.codePage != 0 && sourceLevel >= 4)
      Fail(kErrUnsupported, path, "Tabellen der Stufe 3 speichern Text in Codeseite 437; diese Tabelle verwendet Codeseite " +
                                      std::to_string(def.codePage) + ".");
    def.codePage = 437;
  } else if (sourceLevel == 3) {
    def.codePage = 437;
    def.sortOrderId = SortOrderName(def.sortOrder);
    if (def.sortOrderId.empty())
      Fail(kErrUnsupported, path, "Der Sprachtreiber der Tabelle (Kennung " + std::to_string(def.sortOrder) +
                                      ") ist unbekannt; ein Wechsel auf Stufe " + std::to_string(def.level) +
                                      " würde die Sortierung verfälschen.");
  }
  AssignIndexFiles(def, path);
  CheckDefinition(def, path);
}

}  // namespace

// Primary keys of the records of a maintained secondary index file, in its order; empty when
// the file cannot be read or does not have the layout the definition implies.
std::vector<std::string> IndexKeyOrder(FileSystem& fs, const SecondaryIndex& index, const TableDefinition& def,
                                       size_t indexBytes) {
  std::vector<std::string> keys;
  if (!index.maintained) return keys;
  try {
    auto file = fs.Open(index.path, OpenMode::ReadOnly);
    const TableHeader xh = ReadFileHeader(*file, index.path);
    if (xh.recordSize != indexBytes + def.KeyBytes() + idx::kBlockNumberBytes) return keys;
    DataFile x(std::move(file), xh);
    for (uint32_t row = 0; row < x.RecordCount(); ++row)
      keys.emplace_back(reinterpret_cast<const char*>(x.Record(row)) + indexBytes, def.KeyBytes());
  } catch (const EDBEngineError&) {
    keys.clear();  // a damaged index file is sorted anew instead
  }
  return keys;
}

KeptOrders SourceOrders(FileSystem& fs, const std::string& dir, const std::string& tableName,
                        const TableDefinition& def) {
  KeptOrders orders;
  if (def.sortOrder == 0 || def.keyFields == 0) return orders;
  const TableHeader h = ReadTableHeader(fs, dir + tableName);
  const auto secondaries = DiscoverSecondaryIndexes(fs, dir, BaseNameOf(tableName), h);
  for (size_t k = 0; k < secondaries.size() && k < def.indexes.size(); ++k)
    orders.push_back(IndexKeyOrder(fs, secondaries[k], def, IndexFieldBytes(def, def.indexes[k])));
  return orders;
}

namespace {

// Hands out the source's records in chain order with their blob contents, the blocks read as a
// pass (sequential_blocks.h).
RecordSource ChainSource(FileSystem& fs, TableCursor& cursor) {
  struct Walk {
    std::unique_ptr<SequentialBlocks> blocks;
    std::vector<int> blobFields;
    size_t entry = 0;
    uint32_t slot = 0;
    const uint8_t* records = nullptr;  // the records of block `entry`
  };
  DataFile& data = cursor.Data();
  std::vector<int> blobFields;
  for (size_t f = 0; f < cursor.Layout().size(); ++f)
    if (IsBlobType(cursor.Layout()[f].type)) blobFields.push_back(static_cast<int>(f));
  auto walk = std::make_shared<Walk>(Walk{std::make_unique<SequentialBlocks>(fs, data), std::move(blobFields)});
  return [&cursor, &data, walk](SourceRecord& out) {
    const std::vector<BlockEntry>& blocks = data.Blocks();
    const size_t recordSize = data.Header().recordSize;
    while (walk->entry < blocks.size() && walk->slot == blocks[walk->entry].count) {
      ++walk->entry;
      walk->slot = 0;
      walk->records = nullptr;
    }
    if (walk->entry == blocks.size()) {
      walk->blocks.reset();  // its memory serves the index files
      return false;
    }
    if (!walk->records) walk->records = walk->blocks->Records(walk->entry);
    const uint8_t* record = walk->records + walk->slot++ * recordSize;
    out.bytes.assign(record, record + recordSize);
    for (const int f : walk->blobFields) {
      // A value held whole in its leader is taken from the record as it stands.
      const size_t leader = mb::LeaderBytes(cursor.Layout()[static_cast<size_t>(f)].bytes);
      if (cursor.BlobLength(f, out.bytes.data()) > leader) out.blobs[f] = cursor.ReadBlob(f, out.bytes.data());
    }
    return true;
  };
}

// Names the family's files as they are on disk, letter case included: a table rebuilt in place
// keeps the names other programs look for on a case-sensitive file system.
CompanionNamer NamesOnDisk(FileSystem& fs, const std::string& dir, const std::string& tableName) {
  return [existing = ExistingFamily(fs, dir, tableName, false)](const std::string& name) {
    for (const std::string& e : existing)
      if (EqualsIgnoringCase(e, name)) return e;
    return name;
  };
}

bool SameTable(FileSystem& fs, const std::string& srcDir, const std::string& srcName,
               const std::string& destDir, const std::string& destName) {
  const bool sameDir =
      fs.CanonicalPath(ListableDir(srcDir)) == fs.CanonicalPath(ListableDir(destDir));
  return sameDir && EqualsIgnoringCase(BaseNameOf(srcName), BaseNameOf(destName));
}

}  // namespace

void RestructureTableFiles(FileSystem& fs, const std::string& dir, const std::string& tableNameIn,
                           const TableFormat& format, const ProgressFn& progress) {
  const auto lock = LockTableSettled(fs, dir, FindFileIgnoringCase(fs, dir, tableNameIn), true);
  const std::string tableName = FindFileIgnoringCase(fs, dir, tableNameIn);
  const std::string path = dir + tableName;
  if (!fs.Exists(path)) Fail(kErrFileNotFound, path, "Die Tabelle wurde nicht gefunden.");
  RefuseForeignUse(fs, dir, tableName);
  const TableHeader source = ReadTableHeader(fs, path);
  if (source.writeProtected)
    Fail(kErrUnsupported, path, "Die Tabelle ist schreibgeschützt und wird nicht umstrukturiert.");
  TableDefinition def = ReadDefinition(fs, dir, tableName);
  // The .VAL that holds the table's relations stays beside it, and so do their marks.
  def.integrityParent = source.indexFlags;
  def.integrityChild = source.unknown6C;
  const int sourceLevel = def.level;
  ApplyFormat(def, format, sourceLevel, path);
  const KeptOrders orders = SourceOrders(fs, dir, tableName, def);
  std::vector<WrittenFile> written;
  {
    auto cursor = TableCursor::Open(fs, dir, tableName);
    written = WriteFamily(fs, def, dir, tableName, NewFilesSuffix(), ChainSource(fs, *cursor),
                          progress, orders, NamesOnDisk(fs, dir, tableName));
  }
  CommitFamily(fs, dir, ExistingFamily(fs, dir, tableName, false), written);
}

void CopyTableFiles(FileSystem& fs, const std::string& srcDir, const std::string& srcNameIn,
                    const std::string& destDir, const std::string& destName, bool empty,
                    const TableFormat& format, const ProgressFn& progress) {
  if (SameTable(fs, srcDir, FindFileIgnoringCase(fs, srcDir, srcNameIn), destDir, destName))
    Fail(kErrInvalidParam, destDir + destName, "Eine Tabelle kann nicht auf sich selbst kopiert werden.");
  const auto srcLock = LockTableSettled(fs, srcDir, FindFileIgnoringCase(fs, srcDir, srcNameIn), false);
  const std::string srcName = FindFileIgnoringCase(fs, srcDir, srcNameIn);
  const std::string srcPath = srcDir + srcName;
  if (!fs.Exists(srcPath)) Fail(kErrFileNotFound, srcPath, "Die Tabelle wurde nicht gefunden.");
  const auto destLock = LockTableSettled(fs, destDir, destName, true);
  RefuseForeignUse(fs, destDir, destName);
  TableDefinition def = ReadDefinition(fs, srcDir, srcName);
  const int sourceLevel = def.level;
  ApplyFormat(def, format, sourceLevel, destDir + destName);
  const KeptOrders orders = empty ? KeptOrders() : SourceOrders(fs, srcDir, srcName, def);
  std::vector<WrittenFile> written;
  {
    auto cursor = TableCursor::Open(fs, srcDir, srcName);
    const RecordSource none = [](SourceRecord&) { return false; };
    written = WriteFamily(fs, def, destDir, destName, NewFilesSuffix(),
                          empty ? none : ChainSource(fs, *cursor), progress, orders);
  }
  CommitFamily(fs, destDir, ExistingFamily(fs, destDir, destName, true), written);
}

}  // namespace engine
