#include <iostream>

#include "cli/commands.h"
#include "cli/read_findings.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunInfo(const Args& args) {
  if (args.size() != 1) {
    std::cerr << "Aufruf: kerbolt-cli info TABELLE\n";
    return 2;
  }
  try {
    engine::ReadFindings findings;
    engine::DescribeTable(engine::DefaultFileSystem(), args[0], std::cout, &findings);
    std::cout.flush();
    return ReportUnreadable(findings);
  } catch (const engine::EDBEngineError& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli
