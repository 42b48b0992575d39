// The checker itself, against the expected dumps of the sample tables: where pxlib and the
// expected dumps agree, the checker's reading of our own tables can be trusted.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/pxcheck/px_reader.h"

namespace pxcheck {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = KERBOLT_FIXTURES_DIR;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The companion file of `table` with extension `ext`, in any case; empty when absent.
fs::path Companion(const fs::path& table, const std::string& ext) {
  for (const auto& entry : fs::directory_iterator(table.parent_path())) {
    const std::string name = entry.path().filename().string();
    const std::string stem = table.stem().string();
    if (name.size() != stem.size() + ext.size()) continue;
    if (strncasecmp(name.c_str(), (stem + ext).c_str(), name.size()) == 0) return entry.path();
  }
  return {};
}

struct FixtureTable {
  std::string relative;  // below tables/
  int records;
};

std::vector<FixtureTable> ReadableFixtures() {
  std::vector<FixtureTable> tables;
  std::istringstream status(ReadText(kFixtures / "expected" / "STATUS.tsv"));
  std::string line;
  std::getline(status, line);
  while (std::getline(status, line)) {
    std::istringstream cells(line);
    std::string table, exit, records;
    std::getline(cells, table, '\t');
    std::getline(cells, exit, '\t');
    std::getline(cells, records, '\t');
    if (exit == "0") tables.push_back({table, std::stoi(records)});
  }
  return tables;
}

// Tables whose expected dump deliberately differs from what pxlib reads (see FORMAT.md's
// known doubts): a block pxlib misreads, and encrypted tables, which pxlib decrypts.
bool KnownDoubt(const std::string& relative) {
  for (const char* doubt : {"synch1.db", "encrypt/"})
    if (relative.find(doubt) != std::string::npos) return true;
  return false;
}

TEST(PxlibChecker, ReadsTheSampleTablesAsTheirExpectedDumps) {
  if (!fs::is_directory(kFixtures / "tables")) GTEST_SKIP() << "Fixture folder missing: " << kFixtures;
  int compared = 0;
  for (const FixtureTable& t : ReadableFixtures()) {
    if (KnownDoubt(t.relative)) continue;
    SCOPED_TRACE(t.relative);
    const PxReading reading = ReadWithPxlib((kFixtures / "tables" / t.relative).string());
    ASSERT_TRUE(reading.opened);
    const Dump expected = ParseDump(ReadText(kFixtures / "expected" / (t.relative + ".tsv")));
    const auto diffs = CompareDumps(reading.dump, expected, 5);
    EXPECT_TRUE(diffs.empty()) << ::testing::PrintToString(diffs);
    ++compared;
  }
  EXPECT_GT(compared, 90);
}

TEST(PxlibChecker, FindsTheSampleIndexesConsistentAndReadsThroughThem) {
  if (!fs::is_directory(kFixtures / "tables")) GTEST_SKIP() << "Fixture folder missing: " << kFixtures;
  int checked = 0;
  for (const FixtureTable& t : ReadableFixtures()) {
    if (KnownDoubt(t.relative)) continue;
    const fs::path table = kFixtures / "tables" / t.relative;
    const fs::path px = Companion(table, ".PX");
    if (px.empty()) continue;
    SCOPED_TRACE(t.relative);
    const auto problems = CheckPrimaryIndex(table.string(), px.string());
    if (t.relative.find("ZIPCODES.DB") != std::string::npos) {
      EXPECT_FALSE(problems.empty()) << "the stale index must be reported";
    } else {
      EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
      const PxReading byIndex = ReadWithPxlib(table.string(), px.string());
      EXPECT_TRUE(byIndex.messages.empty()) << ::testing::PrintToString(byIndex.messages);
      const Dump expected = ParseDump(ReadText(kFixtures / "expected" / (t.relative + ".tsv")));
      EXPECT_TRUE(CompareDumps(byIndex.dump, expected).empty());
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace pxcheck
