#include <iostream>

#include "cli/commands.h"
#include "cli/read_findings.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunDump(const Args& args) {
  if (args.size() != 1) {
    std::cerr << "Aufruf: kerbolt-cli dump TABELLE\n";
    return 2;
  }
  std::ios::sync_with_stdio(false);  // the lines go out through the stream's own buffer
  try {
    engine::ReadFindings findings;
    engine::DumpTable(engine::DefaultFileSystem(), args[0], std::cout, &findings);
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
