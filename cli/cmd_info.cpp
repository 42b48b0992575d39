#include <iostream>

#include "cli/commands.h"
#include "cli/password_option.h"
#include "cli/read_findings.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunInfo(const Args& given) {
  Args args = given;
  std::string passwordFile, error;
  if (!TakePasswordFile(&args, &passwordFile, &error) || args.size() != 1) {
    if (!error.empty()) std::cerr << error << '\n';
    std::cerr << "Aufruf: kerbolt-cli info TABELLE [--password-file DATEI]\n";
    return 2;
  }
  try {
    // Without a password file a protected table is described by its header alone.
    const std::unique_ptr<engine::FileSystem> files =
        passwordFile.empty() ? nullptr : PasswordFiles(args[0], passwordFile, false);
    engine::ReadFindings findings;
    engine::DescribeTable(files ? *files : engine::DefaultFileSystem(), args[0], std::cout, &findings);
    std::cout.flush();
    return ReportUnreadable(findings);
  } catch (const engine::EDBEngineError& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli
