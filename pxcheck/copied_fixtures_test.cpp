// Every sample table copied by our engine in its own format, with 4 KiB blocks, and at level 7
// with 16 KiB blocks: pxlib reads
// the copy as the expected dump of the original, through the copy's primary index too, the
// copy's secondary indexes describe it, and our own dump of the copy (blobs included) is the
// expected dump.

#include <gtest/gtest.h>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"
#include "family/restructure.h"
#include "pxcheck/fixtures.h"
#include "pxcheck/index_check.h"
#include "pxcheck/px_reader.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace pxcheck {
namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using testsupport::TempDir;

TEST(PxlibOfOurCopies, SampleTablesCopiedInThreeFormatsReadAsTheOriginals) {
  SKIP_WITHOUT_FIXTURES();
  int copies = 0;
  for (const fs::path& sample : ComparableFixtures()) {
    const Dump expected = ExpectedDumpOf(sample);
    TempDir source;
    testsupport::CopyTable(sample, source.Path());
    for (const engine::TableFormat format : {engine::TableFormat{0, 0}, engine::TableFormat{0, 4096},
                                             engine::TableFormat{7, 16384}}) {
      SCOPED_TRACE(fixtures::Relative(sample) + ", level " + std::to_string(format.level) + ", " +
                   std::to_string(format.blockBytes) + "-byte blocks (0: the source's)");
      TempDir dir;
      const std::string name = sample.filename().string();
      try {
        engine::CopyTableFiles(engine::DefaultFileSystem(), source.Path(), name, dir.Path(), name, false, format);
      } catch (const engine::EDBEngineError& e) {
        // Only a format limit or blobs that cannot be read (no .MB) may refuse a copy.
        EXPECT_TRUE(e.ErrorCode() == engine::kErrUnsupported || e.ErrorCode() == engine::kErrBlobMissing) << e.what();
        continue;
      }
      const std::string copy = dir.Path() + name;
      const PxReading chain = ReadWithPxlib(copy);
      ASSERT_TRUE(chain.opened);
      EXPECT_EQ(CompareDumps(chain.dump, expected, 5), std::vector<std::string>{});
      const Dump ours = ParseDump(testsupport::TableDumpText(copy));
      EXPECT_EQ(CompareDumps(ours, expected, 5), std::vector<std::string>{});
      for (size_t c = 0; c < ours.types.size() && ours.rows.size() == expected.rows.size(); ++c) {
        if (!IsBlobToken(ours.types[c])) continue;
        for (size_t r = 0; r < ours.rows.size(); ++r) {
          EXPECT_EQ(ours.rows[r][c], expected.rows[r][c]) << "blob in record " << r << ", field " << ours.names[c];
        }
      }
      const fs::path px = Companion(copy, ".PX");
      if (!px.empty()) {
        EXPECT_EQ(CheckPrimaryIndex(copy, px.string()), std::vector<std::string>{});
        const PxReading byIndex = ReadWithPxlib(copy, px.string());
        EXPECT_EQ(byIndex.messages, std::vector<std::string>{});
        EXPECT_EQ(CompareDumps(byIndex.dump, expected, 5), std::vector<std::string>{});
        for (const fs::path& x : SecondaryIndexFiles(copy))
          EXPECT_EQ(CheckSecondaryIndex(copy, x.string()), std::vector<std::string>{}) << x;
      }
      ++copies;
    }
  }
  EXPECT_GT(copies, 250);
}

}  // namespace
}  // namespace pxcheck
