#include "pxcheck/fixtures.h"

#include <strings.h>

#include <algorithm>

#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"

namespace pxcheck {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;

std::vector<fs::path> ComparableFixtures() {
  std::vector<fs::path> doubts = fixtures::PasswordProtectedTables();
  doubts.push_back(fixtures::HandCorrectedEmptyChain());
  std::vector<fs::path> tables;
  for (const fs::path& table : fixtures::FullyDumped())
    if (std::find(doubts.begin(), doubts.end(), table) == doubts.end()) tables.push_back(table);
  return tables;
}

Dump ExpectedDumpOf(const fs::path& sample) {
  return ParseDump(testsupport::ReadText(fixtures::ExpectedDump(sample)));
}

fs::path Companion(const fs::path& table, const std::string& ext) {
  for (const fs::path& file : testsupport::TableFamily(table))
    if (strcasecmp(file.extension().string().c_str(), ext.c_str()) == 0) return file;
  return {};
}

std::vector<fs::path> SecondaryIndexFiles(const fs::path& table) {
  std::vector<fs::path> files;
  for (const fs::path& file : testsupport::TableFamily(table)) {
    const std::string ext = file.extension().string();
    if (ext.size() == 4 && (ext[1] == 'X' || ext[1] == 'x')) files.push_back(file);
  }
  return files;
}

}  // namespace pxcheck
