// kerbolt-cli: scripting and checking companion of the Kerbolt tool.

#include <cstdio>
#include <map>
#include <string>

#include "cli/commands.h"

namespace {

void PrintUsage() {
  std::fputs(
      "Aufruf:\n"
      "  kerbolt-cli dump TABELLE\n"
      "  kerbolt-cli info TABELLE\n"
      "  kerbolt-cli scan VERZEICHNIS\n"
      "  kerbolt-cli copy QUELLE ZIEL [--empty] [--level L] [--block-size N]\n"
      "  kerbolt-cli restructure TABELLE --block-size N | --level L\n"
      "  kerbolt-cli verify PFAD… [--json]\n"
      "  kerbolt-cli export TABELLE|VERZEICHNIS --csv DATEI|VERZEICHNIS | --sqlite DATEI\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::map<std::string, int (*)(const cli::Args&)> commands = {
      {"dump", cli::RunDump},   {"info", cli::RunInfo}, {"scan", cli::RunScan},
      {"copy", cli::RunCopy},   {"restructure", cli::RunRestructure},
      {"verify", cli::RunVerify},  {"export", cli::RunExport},
  };
  if (argc < 2) {
    PrintUsage();
    return 2;
  }
  auto it = commands.find(argv[1]);
  if (it == commands.end()) {
    std::fprintf(stderr, "Unbekannter Befehl: %s\n", argv[1]);
    PrintUsage();
    return 2;
  }
  return it->second(cli::Args(argv + 2, argv + argc));
}
