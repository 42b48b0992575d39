// kerbolt-cli: scripting and checking companion of the Kerbolt tool.

#include <cstdio>
#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/help_texts.h"

namespace {

bool AsksForHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

int main(int argc, char** argv) {
  const std::map<std::string, int (*)(const cli::Args&)> commands = {
      {"dump", cli::RunDump},   {"info", cli::RunInfo}, {"scan", cli::RunScan},
      {"copy", cli::RunCopy},   {"restructure", cli::RunRestructure},
      {"verify", cli::RunVerify},  {"export", cli::RunExport}, {"rebuild", cli::RunRebuild},
  };
  if (argc < 2) {
    std::fputs(cli::OverviewHelp().c_str(), stderr);
    return 2;
  }
  const std::string first = argv[1];
  if (AsksForHelp(first) || first == "help") {
    const std::string text = argc > 2 ? cli::CommandHelp(argv[2]) : "";
    std::fputs((text.empty() ? cli::OverviewHelp() : text).c_str(), stdout);
    return 0;
  }
  if (first == "--version") {
    std::puts("kerbolt-cli " KERBOLT_VERSION);
    return 0;
  }
  auto it = commands.find(first);
  if (it == commands.end()) {
    std::fprintf(stderr, "Unbekannter Befehl: %s\n", argv[1]);
    std::fputs(cli::OverviewHelp().c_str(), stderr);
    return 2;
  }
  const cli::Args args(argv + 2, argv + argc);
  for (const std::string& arg : args)
    if (AsksForHelp(arg)) {
      std::fputs(cli::CommandHelp(first).c_str(), stdout);
      return 0;
    }
  return it->second(args);
}
