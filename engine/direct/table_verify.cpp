#include "direct/table_verify.h"

#include <algorithm>
#include <optional>
#include <set>

#include "direct/table_location.h"
#include "family/family_swap.h"
#include "family/index_checks.h"
#include "family/record_check.h"
#include "family/table_cursor.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/chain_scan.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

// Code pages whose text the engine converts; others would be read as 437.
bool KnownCodePage(int codePage) {
  static const std::set<int> known = {0, 437, 850, 852, 866, 936, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
  return known.count(codePage) != 0;
}

bool IsCompanionExtension(const std::string& extIn) {
  const std::string ext = UpperAscii(extIn);
  return ext == "VAL" || (ext != "DB" && IsFamilyExtension(ext));
}

void CheckOpenTable(FileSystem& fs, const std::string& dir, const std::string& name, TableReport& report,
                    const ProgressFn& progress) {
  const std::string& path = report.table;
  TableHeader h;
  try {
    h = ReadTableHeader(fs, path);
  } catch (const EDBEngineError& e) {
    if (e.ErrorCode() == kErrPasswordProtected) throw;
    report.problems.push_back({path, "", e.what()});
    return;
  }
  // The secondary indexes are read on a second thread from here on; it gets the table once it
  // is open over a sound chain (and ends before the table is closed).
  std::unique_ptr<TableCursor> cursor;
  std::unique_ptr<File> data = fs.Open(path, OpenMode::ReadOnly);
  IndexChecks indexes(fs, dir, BaseNameOf(name), h);
  indexes.Start(data->Size());
  // A chain without fault needs no second walk when the table is opened.
  std::optional<std::vector<std::pair<uint16_t, uint32_t>>> soundChain;
  {
    ChainScan scan = ScanChain(*data, h);
    data.reset();
    if (scan.problems.empty()) soundChain = ChainWithCounts(scan);
    report.problems = std::move(scan.problems);
    if (scan.broken) return;  // the records and indexes are checked once the chain is mended
  }
  if (h.HasExtension() && !KnownCodePage(h.codePage))
    report.problems.push_back({path, "", "Die Codeseite " + std::to_string(h.codePage) +
                                             " ist unbekannt; Text würde als Codeseite 437 gelesen."});
  try {
    cursor = soundChain ? TableCursor::Open(fs, dir, name, *soundChain) : TableCursor::Open(fs, dir, name);
  } catch (const EDBEngineError& e) {
    report.problems.push_back({path, "", e.what()});
    return;
  }
  if (soundChain) indexes.Open(*cursor);
  const std::vector<std::string> firstKeys = CheckRecords(*cursor, report.problems, progress, indexes.BlockSink());
  indexes.Run(*cursor, firstKeys, report.problems);
}

}  // namespace

TableReport VerifyTable(FileSystem& fs, const std::string& path, const ProgressFn& progress) {
  const LockedTable table = LockTableAt(fs, path, false);
  TableReport report;
  report.table = table.dir + table.name;
  CheckOpenTable(fs, table.dir, table.name, report, progress);
  return report;
}

std::vector<std::string> TableFilesIn(FileSystem& fs, const std::string& dir) {
  std::vector<std::string> tables;
  for (const std::string& name : fs.List(ListableDir(dir)))
    if (UpperAscii(ExtensionOf(name)) == "DB") tables.push_back(name);
  std::sort(tables.begin(), tables.end());
  return tables;
}

std::vector<TableReport> StrayCompanionFiles(FileSystem& fs, const std::string& dir) {
  std::set<std::string> bases;
  const std::vector<std::string> names = fs.List(ListableDir(dir));
  for (const std::string& name : names)
    if (UpperAscii(ExtensionOf(name)) == "DB") bases.insert(UpperAscii(BaseNameOf(name)));
  std::vector<TableReport> strays;
  for (const std::string& name : names) {
    if (!IsCompanionExtension(ExtensionOf(name)) || bases.count(UpperAscii(BaseNameOf(name)))) continue;
    const std::string path = WithSlash(dir) + name;
    strays.push_back({path, {{path, "", "Die Begleitdatei gehört zu keiner Tabelle (" + BaseNameOf(name) +
                                            ".DB fehlt)."}}});
  }
  std::sort(strays.begin(), strays.end(), [](const auto& a, const auto& b) { return a.table < b.table; });
  return strays;
}

}  // namespace engine
