// kerbolt-cli scan DIR: the block-size window's list as tab-separated text.

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "blocksize/core/bde_util.h"
#include "blocksize/core/table_scan.h"
#include "cli/commands.h"
#include "component/table.h"

namespace cli {

namespace {

// Plain numbers: no grouping, "." as the decimal separator.
std::string plainNumber(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void printLine(const std::string* cells, size_t count) {
  std::string line;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) line += '\t';
    line += cells[i];
  }
  line += '\n';
  std::fputs(line.c_str(), stdout);
}

}  // namespace

int RunScan(const Args& args) {
  if (args.size() != 1) {
    std::fputs("Aufruf: kerbolt-cli scan VERZEICHNIS\n", stderr);
    return 2;
  }
  std::string directory = args[0];
  if (directory.empty() || directory.back() != '/') directory += '/';
  try {
    const std::vector<std::string> names = blocksize::listParadoxTables(directory);
    std::unique_ptr<blocksize::TBDEUtil> util = std::make_unique<blocksize::TBDEUtil>();
    std::string captions[blocksize::kColumnCount];
    for (int i = 0; i < blocksize::kColumnCount; ++i) captions[i] = blocksize::kColumnCaptions[i];
    printLine(captions, blocksize::kColumnCount);
    engine::TTable table;
    for (const std::string& name : names) {
      const blocksize::TableScanRow row = blocksize::scanTable(util.get(), table, directory, name);
      const auto cells = blocksize::scanRowCells(row, plainNumber);
      printLine(cells.data(), cells.size());
    }
  } catch (const std::exception& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  return 0;
}

}  // namespace cli
