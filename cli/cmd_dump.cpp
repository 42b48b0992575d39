#include <iostream>

#include "cli/commands.h"
#include "cli/password_option.h"
#include "cli/read_findings.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunDump(const Args& args) {
  std::string table, passwordFile;
  if (!ReadTableArgs(args, "Aufruf: kerbolt-cli dump TABELLE [--password-file DATEI]\n", &table, &passwordFile))
    return 2;
  std::ios::sync_with_stdio(false);  // the lines go out through the stream's own buffer
  try {
    const std::unique_ptr<engine::FileSystem> files = PasswordFiles(table, passwordFile, false);
    engine::ReadFindings findings;
    engine::DumpTable(files ? *files : engine::DefaultFileSystem(), table, std::cout, &findings);
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
