#include <iostream>

#include "cli/commands.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"

namespace cli {

int RunDump(const Args& args) {
  if (args.size() != 1) {
    std::cerr << "Aufruf: kerbolt-cli dump TABELLE\n";
    return 2;
  }
  try {
    std::vector<std::string> notes;
    engine::DumpTable(engine::DefaultFileSystem(), args[0], std::cout, &notes);
    std::cout.flush();
    for (const auto& note : notes) std::cerr << "Hinweis: " << note << '\n';
    return 0;
  } catch (const engine::EDBEngineError& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli
