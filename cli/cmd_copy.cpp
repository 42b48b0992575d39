// kerbolt-cli copy SRC DEST [--empty] [--level L] [--block-size N] [--ignore-foreign-locks]
// [--password-file F]: creates DEST with the fields and indexes of SRC and copies every record,
// auto-increment values kept; the copy of a protected table, and with a password file any copy,
// is protected.

#include <iostream>

#include "cli/commands.h"
#include "cli/foreign_lock_option.h"
#include "cli/format_options.h"
#include "cli/password_option.h"
#include "cli/progress_line.h"
#include "cli/table_path.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

namespace {

constexpr char kUsage[] =
    "Aufruf: kerbolt-cli copy QUELLE ZIEL [--empty] [--level L] [--block-size N] [--ignore-foreign-locks]"
    " [--password-file DATEI]\n";

}  // namespace

int RunCopy(const Args& given) {
  Args args = given;
  std::vector<std::string> tables;
  engine::TableFormat format;
  bool empty = false;
  bool ignoreForeignLocks = false;
  std::string passwordFile, error;
  if (!TakePasswordFile(&args, &passwordFile, &error) ||
      !ReadTablesAndFormat(args, &tables, &format, &empty, &ignoreForeignLocks, &error)) {
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
    // A protected source gives a protected copy; a password file protects the copy of any table.
    const std::unique_ptr<engine::FileSystem> files = PasswordFiles(src.directory + src.name, passwordFile, true);
    ProgressLine progress;
    engine::CopyTable(files ? *files : engine::DefaultFileSystem(), src.directory, src.name, dest.directory, dest.name,
                           empty, format, [&progress](uint64_t n) { return progress(n); });
    const uint64_t copied = progress.Done();
    std::cout << "Tabelle nach „" << tables[1] << "“ kopiert: " << copied << " Datensätze.\n";
    return 0;
  } catch (const engine::EDBEngineError& e) {
    return ReportFailedChange(e, ignoreForeignLocks, dest);
  }
}

}  // namespace cli
