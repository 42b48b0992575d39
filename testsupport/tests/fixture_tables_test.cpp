#include "testsupport/fixture_tables.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "testsupport/fixture_folder.h"

namespace testsupport::fixtures {
namespace {

namespace fs = std::filesystem;

// A misspelt name fails here, not as a puzzling failure of a test that copies the table.
TEST(FixtureTables, EveryNameIsASampleTable) {
  SKIP_WITHOUT_FIXTURES();
  std::vector<fs::path> named = {
      KeyedWithBlobs(),           Unkeyed(),
      KeyedWithoutSecondaryIndex(), AllFieldTypes(),
      AllFieldTypesLevel7(),      KeyedWithGraphic(),
      Level3(),                   Level3Keyed(),
      Level35(),                  Level4(),
      Level5(),                   BlockSize16K(),
      BlockSize32K(),             Empty(),
      OneRecord(),                ThreeRecords(),
      TwoSecondaryIndexes(),      CompositeSecondaryIndex(),
      DescendingSecondaryIndex(), UnkeyedWithSecondaryIndex(),
      LargeWithSecondaryIndex(),  StalePrimaryIndex(),
      ChainPastLastBlock(),       HandCorrectedEmptyChain(),
      PasswordProtected(),
  };
  const std::vector<fs::path> protectedTables = PasswordProtectedTables();
  named.insert(named.end(), protectedTables.begin(), protectedTables.end());
  const std::vector<fs::path> all = All();
  for (const fs::path& table : named) {
    EXPECT_NE(std::find(all.begin(), all.end(), table), all.end()) << table;
    EXPECT_TRUE(fs::is_regular_file(ExpectedDump(table))) << table;
  }
}

}  // namespace
}  // namespace testsupport::fixtures
