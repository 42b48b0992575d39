#pragma once
// The sample tables and their expected dumps, for the checks that read them.

#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/temp_dir.h"

namespace pxcheck {

// The fixture folder (KERBOLT_FIXTURES_DIR); Available() is false when it is absent.
std::filesystem::path FixturesRoot();
bool FixturesAvailable();

struct FixtureTable {
  std::string relative;  // below tables/
  int records;
};

// Tables the expected dumps cover completely (STATUS.tsv exit status 0), without the known
// doubts where the expected dump deliberately differs from pxlib's reading (a block pxlib
// misreads; encrypted tables, which pxlib decrypts).
std::vector<FixtureTable> ComparableFixtures();

std::string ReadText(const std::filesystem::path& path);
// The companion file of `table` with extension `ext` (".PX"), in any letter case; empty when absent.
std::filesystem::path Companion(const std::filesystem::path& table, const std::string& ext);

// The secondary index data files (.Xnn, .XGn in any letter case) of `table`, sorted.
std::vector<std::filesystem::path> SecondaryIndexFiles(const std::filesystem::path& table);

// A fresh temporary folder, removed with its content on destruction.
using TempDir = engine::testing::TempDir;

// Our engine's dump of a table, in the same format as the expected dumps.
std::string OurDump(const std::string& path);

}  // namespace pxcheck
