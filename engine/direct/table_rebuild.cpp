#include "direct/table_rebuild.h"

#include <vector>

#include "direct/table_location.h"
#include "family/existing_definition.h"
#include "family/family_swap.h"
#include "family/foreign_locks.h"
#include "family/restructure.h"
#include "family/salvage_records.h"
#include "family/temporary_names.h"
#include "format/table_definition.h"
#include "io/directories.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

// Copies `names` from `dir` into the new folder NAME.bak/ (or NAME.bak-2/, …) and makes the
// copies durable; returns the folder.
std::string KeepBackup(FileSystem& fs, const std::string& dir, const std::string& dbName,
                       const std::vector<std::string>& names) {
  std::string backup = dir + BaseNameOf(dbName) + ".bak";
  for (int n = 2; !MakeDirectory(backup); ++n) backup = dir + BaseNameOf(dbName) + ".bak-" + std::to_string(n);
  backup += "/";
  std::vector<uint8_t> buffer(1 << 20);
  for (const std::string& name : names) {
    const auto from = fs.Open(dir + name, OpenMode::ReadOnly);
    const auto to = fs.Open(backup + name, OpenMode::CreateTruncate);
    for (uint64_t at = 0;;) {
      const size_t got = from->ReadAt(at, buffer.data(), buffer.size());
      if (got == 0) break;
      to->WriteAt(at, buffer.data(), got);
      at += got;
    }
    to->Sync();
  }
  fs.SyncDir(backup);
  fs.SyncDir(ListableDir(dir));
  return backup;
}

}  // namespace

RebuildReport RebuildTable(FileSystem& fs, const std::string& path, const ProgressFn& progress) {
  const LockedTable table = LockTableAt(fs, path, true);
  const std::string& dir = table.dir;
  const std::string& name = table.name;
  RefuseForeignUse(fs, dir, name);
  if (ReadTableHeader(fs, dir + name).writeProtected)
    Fail(kErrUnsupported, dir + name, "Die Tabelle ist schreibgeschützt und wird nicht neu aufgebaut.");
  TableDefinition def = ReadDefinition(fs, dir, name);
  // 3 KiB blocks are a relic that newer software does not write.
  if (def.blockSizeKiB == 3) def.blockSizeKiB = 4;
  AssignIndexFiles(def, dir + name);
  CheckDefinition(def, dir + name);
  const KeptOrders orders = SourceOrders(fs, dir, name, def);
  SalvagedRecords salvaged = SalvageRecords(fs, dir, name);
  RebuildReport report;
  report.records = salvaged.records.size();
  size_t next = 0;
  const RecordSource source = [&salvaged, &next](SourceRecord& out) {
    if (next >= salvaged.records.size()) return false;
    out = std::move(salvaged.records[next++]);
    return true;
  };
  const std::vector<WrittenFile> written = WriteFamily(fs, def, dir, name, NewFilesSuffix(), source, progress, orders);
  try {
    report.backupDir = KeepBackup(fs, dir, name, ExistingFamily(fs, dir, name, true));
  } catch (...) {
    DiscardFamily(fs, written);
    throw;
  }
  CommitFamily(fs, dir, ExistingFamily(fs, dir, name, false), written);
  report.relinked = std::move(salvaged.relinked);
  report.dropped = std::move(salvaged.dropped);
  report.blobsCleared = std::move(salvaged.blobsCleared);
  report.unreadable = std::move(salvaged.unreadable);
  return report;
}

}  // namespace engine
