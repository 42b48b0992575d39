// kerbolt-cli rebuild TABLE [--ignore-foreign-locks]: mends a damaged table from the records that can be read, keeping
// the original files in TABLE.bak/ beside it.

#include <iostream>

#include "cli/commands.h"
#include "cli/foreign_lock_option.h"
#include "cli/progress_line.h"
#include "cli/table_path.h"
#include "direct/table_rebuild.h"
#include "io/engine_error.h"
#include "io/file_system.h"

namespace cli {

namespace {

constexpr char kUsage[] = "Aufruf: kerbolt-cli rebuild TABELLE [--ignore-foreign-locks]\n";
// Lines listed per kind before the rest is summed up.
constexpr size_t kListed = 50;

void PrintList(const char* heading, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::cout << heading << '\n';
  for (size_t i = 0; i < lines.size() && i < kListed; ++i) std::cout << "  " << lines[i] << '\n';
  if (lines.size() > kListed) std::cout << "  … und " << lines.size() - kListed << " weitere.\n";
}

}  // namespace

int RunRebuild(const Args& args) {
  std::vector<std::string> tables;
  bool ignoreForeignLocks = false;
  for (const std::string& arg : args) {
    if (arg == "--ignore-foreign-locks") {
      ignoreForeignLocks = true;
    } else if (arg.rfind("--", 0) == 0) {
      std::cerr << kUsage;
      return 2;
    } else {
      tables.push_back(arg);
    }
  }
  if (tables.size() != 1) {
    std::cerr << kUsage;
    return 2;
  }
  const TablePath table = SplitTablePath(tables[0]);
  try {
    const auto consent = ConsentToForeignLocks(ignoreForeignLocks, table);
    ProgressLine progress;
    const engine::RebuildReport report = engine::RebuildTable(engine::DefaultFileSystem(), tables[0],
                                                              [&progress](uint64_t n) { return progress(n); });
    std::cout << "Ursprüngliche Dateien gesichert in „" << report.backupDir << "“.\n";
    PrintList("Wieder eingehängte Blöcke:", report.relinked);
    PrintList("Nicht übernommene Datensätze:", report.dropped);
    PrintList("Geleerte BLOb-Verweise:", report.blobsCleared);
    PrintList("Nicht lesbare Werte (unverändert übernommen):", report.unreadable);
    std::cout << "Tabelle „" << tables[0] << "“ neu aufgebaut: " << report.records << " Datensätze.\n";
    return 0;
  } catch (const engine::EDBEngineError& e) {
    return ReportFailedChange(e, ignoreForeignLocks, table);
  }
}

}  // namespace cli
