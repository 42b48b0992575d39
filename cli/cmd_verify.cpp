// kerbolt-cli verify PATH… [--json]: checks tables (or every table of a directory) without
// changing them; one line per table, "OK" or its problems.

#include <iostream>

#include "cli/commands.h"
#include "cli/progress_line.h"
#include "cli/table_path.h"
#include "cli/verify_output.h"
#include "direct/table_verify.h"
#include "io/engine_error.h"
#include "io/file_system.h"

namespace cli {

int RunVerify(const Args& args) {
  bool json = false;
  std::vector<std::string> paths;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (a.rfind("--", 0) == 0) {
      std::cerr << "Unbekannte Option: " << a << '\n' << kVerifyUsage;
      return kExitUsage;
    } else {
      paths.push_back(a);
    }
  }
  if (paths.empty()) {
    std::cerr << kVerifyUsage;
    return kExitUsage;
  }
  engine::FileSystem& fs = engine::DefaultFileSystem();
  VerifyOutput out(std::cout, json);
  for (const std::string& path : paths) {
    std::vector<std::string> tables;
    std::vector<engine::TableReport> strays;
    try {
      if (IsDirectory(path)) {
        const std::string dir = DirectoryWithSlash(path);
        tables = TablePathsIn(fs, dir);
        strays = engine::StrayCompanionFiles(fs, dir);
      } else {
        tables.push_back(path);
      }
    } catch (const engine::EDBEngineError& e) {
      out.NotChecked(path, e.what());
      continue;
    }
    for (const std::string& table : tables) {
      try {
        ProgressLine progress;
        out.Report(engine::VerifyTable(fs, table, [&progress](uint64_t n) { return progress(n); }));
      } catch (const engine::EDBEngineError& e) {
        out.NotChecked(table, e.what());
      }
    }
    for (const auto& stray : strays) out.Report(stray);
  }
  return out.Finish();
}

}  // namespace cli
