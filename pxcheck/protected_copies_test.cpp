// Protected tables written by our engine, read by pxlib, which unscrambles them with the key in
// their header: copies of the protected samples in three formats, and plain samples copied
// with a password, read as the expected dumps (blob columns aside, which pxlib does not read),
// along the block chain and through the scrambled primary index.

#include <gtest/gtest.h>

#include "direct/table_files.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "pxcheck/fixtures.h"
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

constexpr char kPassword[] = "123";

// Copies `sample` protected into each format and checks pxlib's and our reading of the copy.
void ExpectProtectedCopiesReadAsExpected(const fs::path& sample, bool sourceProtected) {
  const Dump expected = ExpectedDumpOf(sample);
  TempDir source;
  const std::string path = testsupport::CopyTable(sample, source.Path());
  engine::FileSystem& disk = engine::DefaultFileSystem();
  const auto files = sourceProtected ? engine::UnlockedTableFiles(disk, path, kPassword)
                                     : engine::ProtectingTableFiles(disk, path, kPassword);
  for (const engine::TableFormat format : {engine::TableFormat{0, 0}, engine::TableFormat{0, 4096},
                                           engine::TableFormat{7, 16384}}) {
    SCOPED_TRACE(fixtures::Relative(sample) + ", level " + std::to_string(format.level) + ", " +
                 std::to_string(format.blockBytes) + "-byte blocks");
    TempDir dir;
    const std::string name = sample.filename().string();
    engine::CopyTable(*files, source.Path(), name, dir.Path(), name, false, format);
    const std::string copy = dir.Path() + name;
    ASSERT_TRUE(engine::IsTableProtected(disk, copy));
    const PxReading chain = ReadWithPxlib(copy);
    ASSERT_TRUE(chain.opened);
    EXPECT_EQ(CompareDumps(chain.dump, expected, 5), std::vector<std::string>{});
    const Dump ours = ParseDump(testsupport::TableDumpText(copy, *engine::UnlockedTableFiles(disk, copy, kPassword)));
    EXPECT_EQ(CompareDumps(ours, expected, 5), std::vector<std::string>{});
    const fs::path px = Companion(copy, ".PX");
    if (!px.empty()) {
      const PxReading byIndex = ReadWithPxlib(copy, px.string());
      EXPECT_EQ(byIndex.messages, std::vector<std::string>{});
      EXPECT_EQ(CompareDumps(byIndex.dump, expected, 5), std::vector<std::string>{});
    }
  }
}

TEST(PxlibOfProtectedCopies, ProtectedSamplesCopiedReadAsTheirExpectedDumps) {
  SKIP_WITHOUT_FIXTURES();
  for (const fs::path& sample : fixtures::PasswordProtectedTables()) ExpectProtectedCopiesReadAsExpected(sample, true);
}

TEST(PxlibOfProtectedCopies, PlainSamplesCopiedWithAPasswordReadAsTheirExpectedDumps) {
  SKIP_WITHOUT_FIXTURES();
  for (const fs::path& sample : {fixtures::KeyedWithBlobs(), fixtures::Level3(), fixtures::TwoSecondaryIndexes(),
                                 fixtures::BlockSize16K()})
    ExpectProtectedCopiesReadAsExpected(sample, false);
}

}  // namespace
}  // namespace pxcheck
