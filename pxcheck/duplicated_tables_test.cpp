// Sample tables duplicated with every record as the progress dialog does it: pxlib reads the
// duplicate as the original, along the chain and through the duplicate's primary index, the
// duplicate's indexes describe it, and our own dump of it shows the original's blobs.

#include <gtest/gtest.h>

#include "component/table.h"
#include "duplicate/core/record_copy.h"
#include "io/file_system.h"
#include "pxcheck/fixtures.h"
#include "pxcheck/index_check.h"
#include "pxcheck/px_reader.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace pxcheck {
namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using testsupport::TempDir;

TEST(PxlibOfOurDuplicates, TablesWithBlobsAndSecondaryIndexesReadAsTheOriginals) {
  SKIP_WITHOUT_FIXTURES();
  for (const fs::path& sample : {fixtures::KeyedWithBlobs(), fixtures::AllFieldTypes(),
                                 fixtures::TwoSecondaryIndexes(), fixtures::LargeWithSecondaryIndex()}) {
    SCOPED_TRACE(fixtures::Relative(sample));
    const Dump expected = ExpectedDumpOf(sample);
    TempDir source, dest;
    const std::string name = fs::path(testsupport::CopyTable(sample, source.Path())).filename().string();
    engine::TTable table;
    table.SetDatabaseName(source.Path());
    table.SetTableName(name);
    table.Open();
    duplicate::CreateDuplicate(engine::DefaultFileSystem(), table, dest.Path(), name);
    table.First();
    const int64_t copied = duplicate::CopyRecords(engine::DefaultFileSystem(), table, dest.Path(), name,
                                                  {[] { return true; }, [] {}});
    EXPECT_EQ(copied, static_cast<int64_t>(expected.rows.size()));
    const std::string copy = dest.Path() + name;
    const PxReading chain = ReadWithPxlib(copy);
    ASSERT_TRUE(chain.opened);
    EXPECT_EQ(CompareDumps(chain.dump, expected, 5), std::vector<std::string>{});
    const fs::path px = Companion(copy, ".PX");
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(CheckPrimaryIndex(copy, px.string()), std::vector<std::string>{});
    const PxReading byIndex = ReadWithPxlib(copy, px.string());
    EXPECT_EQ(byIndex.messages, std::vector<std::string>{});
    EXPECT_EQ(CompareDumps(byIndex.dump, expected, 5), std::vector<std::string>{});
    EXPECT_EQ(SecondaryIndexFiles(copy).size(), SecondaryIndexFiles(source.Path() + name).size());
    for (const fs::path& x : SecondaryIndexFiles(copy))
      EXPECT_EQ(CheckSecondaryIndex(copy, x.string()), std::vector<std::string>{}) << x;
  }
}

}  // namespace
}  // namespace pxcheck
