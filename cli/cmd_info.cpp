#include <iostream>

#include "cli/commands.h"
#include "cli/password_option.h"
#include "cli/read_findings.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunInfo(const Args& args) {
  std::string table, passwordFile;
  if (!ReadTableArgs(args, "Aufruf: kerbolt-cli info TABELLE [--password-file DATEI]\n", &table, &passwordFile))
    return 2;
  try {
    // Without a password file a protected table is described by its header alone.
    const std::unique_ptr<engine::FileSystem> files =
        passwordFile.empty() ? nullptr : PasswordFiles(table, passwordFile, false);
    engine::ReadFindings findings;
    engine::DescribeTable(files ? *files : engine::DefaultFileSystem(), table, std::cout, &findings);
    std::cout.flush();
    return ReportUnreadable(findings);
  } catch (const engine::EDBEngineError& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli
