#include "pxcheck/fixtures.h"

#include <strings.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "io/file_system.h"
#include "family/table_dump.h"

namespace pxcheck {

namespace fs = std::filesystem;

fs::path FixturesRoot() { return KERBOLT_FIXTURES_DIR; }

bool FixturesAvailable() { return fs::is_directory(FixturesRoot() / "tables"); }

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path Companion(const fs::path& table, const std::string& ext) {
  const std::string wanted = table.stem().string() + ext;
  for (const auto& entry : fs::directory_iterator(table.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.size() == wanted.size() && strcasecmp(name.c_str(), wanted.c_str()) == 0) return entry.path();
  }
  return {};
}

std::vector<fs::path> SecondaryIndexFiles(const fs::path& table) {
  std::vector<fs::path> files;
  const std::string stem = table.stem().string();
  for (const auto& entry : fs::directory_iterator(table.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.size() != stem.size() + 4 || strncasecmp(name.c_str(), stem.c_str(), stem.size()) != 0) continue;
    const std::string ext = name.substr(stem.size());
    if (ext[0] == '.' && (ext[1] == 'X' || ext[1] == 'x')) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<FixtureTable> ComparableFixtures() {
  std::vector<FixtureTable> tables;
  std::istringstream status(ReadText(FixturesRoot() / "expected" / "STATUS.tsv"));
  std::string line;
  std::getline(status, line);
  while (std::getline(status, line)) {
    std::istringstream cells(line);
    std::string table, exit, records;
    std::getline(cells, table, '\t');
    std::getline(cells, exit, '\t');
    std::getline(cells, records, '\t');
    if (exit != "0") continue;
    if (table.find("synch1.db") != std::string::npos || table.find("encrypt/") != std::string::npos) continue;
    tables.push_back({table, std::stoi(records)});
  }
  return tables;
}

std::string OurDump(const std::string& path) {
  std::ostringstream out;
  engine::DumpTable(engine::DefaultFileSystem(), path, out);
  return out.str();
}

}  // namespace pxcheck
