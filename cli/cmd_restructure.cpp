// kerbolt-cli restructure TABLE --block-size N | --level L [--ignore-foreign-locks]: rebuilds the
// table in place with another block size or table level.

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
    "Aufruf: kerbolt-cli restructure TABELLE --block-size N | --level L [--ignore-foreign-locks]\n";

}  // namespace

int RunRestructure(const Args& args) {
  std::vector<std::string> tables;
  engine::TableFormat format;
  bool ignoreForeignLocks = false;
  std::string error;
  if (!ReadTablesAndFormat(args, &tables, &format, nullptr, &ignoreForeignLocks, &error)) {
    std::cerr << error << '\n' << kUsage;
    return 2;
  }
  if (tables.size() != 1 || (format.level == 0 && format.blockBytes == 0)) {
    std::cerr << kUsage;
    return 2;
  }
  const TablePath table = SplitTablePath(tables[0]);
  try {
    const auto consent = ConsentToForeignLocks(ignoreForeignLocks, table);
    ProgressLine progress;
    engine::ChangeTableFormat(engine::DefaultFileSystem(), table.directory, table.name, format,
                                  [&progress](uint64_t n) { return progress(n); });
    std::cout << "Tabelle „" << tables[0] << "“ umstrukturiert.\n";
    return 0;
  } catch (const engine::EDBEngineError& e) {
    return ReportFailedChange(e, ignoreForeignLocks, table);
  }
}

}  // namespace cli
