#include "testsupport/fixture_folder.h"

#include <strings.h>

#include <algorithm>
#include <sstream>

#include "testsupport/file_bytes.h"

namespace fs = std::filesystem;

namespace testsupport::fixtures {

namespace {

fs::path Tables() { return Root() / "tables"; }

}  // namespace

fs::path Root() { return KERBOLT_FIXTURES_DIR; }

bool Available() { return fs::is_directory(Tables()); }

std::vector<fs::path> All() {
  std::vector<fs::path> tables;
  if (!Available()) return tables;
  for (const auto& entry : fs::recursive_directory_iterator(Tables())) {
    if (entry.is_regular_file() && strcasecmp(entry.path().extension().string().c_str(), ".db") == 0)
      tables.push_back(entry.path());
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

std::vector<fs::path> FullyDumped() {
  std::vector<fs::path> tables;
  std::istringstream status(ReadText(Root() / "expected" / "STATUS.tsv"));
  std::string line;
  std::getline(status, line);  // column names
  while (std::getline(status, line)) {
    std::istringstream cells(line);
    std::string table, exit;
    std::getline(cells, table, '\t');
    std::getline(cells, exit, '\t');
    if (exit == "0") tables.push_back(Tables() / table);
  }
  return tables;
}

std::string Relative(const fs::path& table) { return table.lexically_relative(Tables()).string(); }

fs::path ExpectedDump(const fs::path& table) { return Root() / "expected" / (Relative(table) + ".tsv"); }

}  // namespace testsupport::fixtures
