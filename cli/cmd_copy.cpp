// kerbolt-cli copy SRC DEST [--empty] [--level L] [--block-size N] [--ignore-foreign-locks]: creates
// DEST with the fields and indexes of SRC and copies every record, auto-increment values kept.

#include <iostream>

#include "cli/commands.h"
#include "cli/foreign_lock_option.h"
#include "cli/format_options.h"
#include "cli/progress_line.h"
#include "cli/table_path.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

namespace {

constexpr char kUsage[] =
    "Aufruf: kerbolt-cli copy QUELLE ZIEL [--empty] [--level L] [--block-size N] [--ignore-foreign-locks]\n";

}  // namespace

int RunCopy(const Args& args) {
  std::vector<std::string> tables;
  engine::TableFormat format;
  bool empty = false;
  bool ignoreForeignLocks = false;
  std::string error;
  if (!ReadTablesAndFormat(args, &tables, &format, &empty, &ignoreForeignLocks, &error)) {
    std::cerr << error << '\n' << kUsage;
    return 2;
  }
  if (tables.size() != 2) {
    std::cerr << kUsage;
    return 2;
  }
  const TablePath src = SplitTablePath(tables[0]);
  const TablePath dest = SplitTablePath(tables[1]);
  try {
    const auto consent = ConsentToForeignLocks(ignoreForeignLocks, dest);
    ProgressLine progress;
    engine::CopyTable(engine::DefaultFileSystem(), src.directory, src.name, dest.directory, dest.name,
                           empty, format, [&progress](uint64_t n) { return progress(n); });
    const uint64_t copied = progress.Done();
    std::cout << "Tabelle nach „" << tables[1] << "“ kopiert: " << copied << " Datensätze.\n";
    return 0;
  } catch (const engine::EDBEngineError& e) {
    return ReportFailedChange(e, ignoreForeignLocks, dest);
  }
}

}  // namespace cli
