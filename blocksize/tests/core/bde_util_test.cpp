#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "blocksize/core/bde_util.h"
#include "io/engine_error.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::TempDir;

uint16_t headerU16(const std::vector<uint8_t>& header, size_t offset) {
  return static_cast<uint16_t>(header[offset] | (header[offset + 1] << 8));
}

// The table level that the file version byte stands for; 3.0 tables (version 3) count as
// level 3 like 3.5 tables.
int levelOfVersion(uint8_t version) {
  if (version <= 4) return 3;
  if (version <= 9) return 4;
  if (version <= 11) return 5;
  return 7;
}

constexpr size_t kRecordSizeOffset = 0x00;
constexpr size_t kBlockSizeOffset = 0x05;
constexpr size_t kFieldCountOffset = 0x21;
constexpr size_t kFileVersionOffset = 0x39;

TEST(TBDEUtilTest, ReadsTheFiveFiguresOfEverySampleTable) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  blocksize::TBDEUtil util;
  int checked = 0;
  for (const fs::path& fixture : fixtures::All()) {
    const std::string copy = CopyTable(fixture, dir.Path(), "T" + std::to_string(checked));
    const std::vector<uint8_t> header = ReadBytes(copy);
    ASSERT_GT(header.size(), kFileVersionOffset) << fixture;
    SCOPED_TRACE(fixture.string());
    ASSERT_TRUE(util.ReadTableProps(copy));
    EXPECT_EQ(util.fieldCount(), headerU16(header, kFieldCountOffset));
    EXPECT_EQ(util.recordSize(), headerU16(header, kRecordSizeOffset));
    EXPECT_EQ(util.blockSizeKiB(), header[kBlockSizeOffset]);
    EXPECT_EQ(util.level(), levelOfVersion(header[kFileVersionOffset]));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(
                  &util.Props[engine::kCurPropsTableTypeOffset])),
              "PARADOX");
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(TBDEUtilTest, AFailedReadLeavesTheNextReadUnaffected) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string big = CopyTable(fixtures::BlockSize16K(), dir.Path());
  const std::string keyed = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  std::ofstream(dir.Path() + "X.db") << "kein Paradox";
  blocksize::TBDEUtil util;
  EXPECT_FALSE(util.ReadTableProps(dir.Path() + "X.db"));
  EXPECT_FALSE(util.ReadTableProps(dir.Path() + "fehlt.db"));
  ASSERT_TRUE(util.ReadTableProps(big));
  EXPECT_EQ(util.blockSizeKiB(), 16);
  EXPECT_FALSE(util.ReadTableProps(dir.Path() + "X.db"));
  // A second successful read overwrites every figure of the first.
  ASSERT_TRUE(util.ReadTableProps(keyed));
  EXPECT_EQ(util.fieldCount(), 10);
  EXPECT_EQ(util.recordSize(), 394);
  EXPECT_EQ(util.level(), 7);
  EXPECT_EQ(util.blockSizeKiB(), 2);
}

// A session ended behind the object's back (the only way closing it can fail): Close reports
// the failure, the destructor drops it.
TEST(TBDEUtilTest, ASessionEndedElsewhereFailsCloseButNotTheDestructor) {
  {
    blocksize::TBDEUtil util;
    ASSERT_EQ(engine::TUExit(util.sessionHandle()), engine::kOk);
    EXPECT_THROW(util.Close(), engine::EDBEngineError);
    EXPECT_EQ(util.sessionHandle(), 0);
    EXPECT_NO_THROW(util.Close());
  }
  EXPECT_NO_THROW({
    blocksize::TBDEUtil util;
    EXPECT_EQ(engine::TUExit(util.sessionHandle()), engine::kOk);
  });
  blocksize::TBDEUtil util;
  const uint16_t session = util.sessionHandle();
  util.Close();
  EXPECT_NE(engine::TUExit(session), engine::kOk) << "Close ended the session";
}

}  // namespace
