#include <iostream>

#include "cli/commands.h"
#include "cli/password_option.h"
#include "cli/read_findings.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunDump(const Args& given) {
  Args args = given;
  std::string passwordFile, error;
  if (!TakePasswordFile(&args, &passwordFile, &error) || args.size() != 1) {
    if (!error.empty()) std::cerr << error << '\n';
    std::cerr << "Aufruf: kerbolt-cli dump TABELLE [--password-file DATEI]\n";
    return 2;
  }
  try {
    const std::unique_ptr<engine::FileSystem> files = PasswordFiles(args[0], passwordFile, false);
    engine::ReadFindings findings;
    engine::DumpTable(files ? *files : engine::DefaultFileSystem(), args[0], std::cout, &findings);
    std::cout.flush();
    for (const auto& note : findings.notes) std::cerr << "Hinweis: " << note << '\n';
    return ReportUnreadable(findings);
  } catch (const engine::EDBEngineError& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli
