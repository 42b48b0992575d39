#include "testsupport/fixture_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace testsupport::fixtures {
namespace {

namespace fs = std::filesystem;

TEST(FixtureFolder, FullyDumpedTablesAreSampleTablesWithTheirDump) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<fs::path> all = All();
  const std::vector<fs::path> dumped = FullyDumped();
  EXPECT_GT(dumped.size(), 100u);
  EXPECT_LE(dumped.size(), all.size());
  for (const fs::path& table : dumped) {
    EXPECT_NE(std::find(all.begin(), all.end(), table), all.end()) << table;
    EXPECT_EQ(Root() / "tables" / Relative(table), table);
    EXPECT_TRUE(fs::is_regular_file(ExpectedDump(table))) << table;
  }
}

}  // namespace
}  // namespace testsupport::fixtures
