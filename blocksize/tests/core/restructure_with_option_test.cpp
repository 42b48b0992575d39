#include <gtest/gtest.h>

#include "blocksize/core/bde_util.h"
#include "blocksize/core/restructure_with_option.h"
#include "direct/direct_calls.h"
#include "direct/table_files.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "blocksize/tests/core/table_cells.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

using blocksize_test::ReadAllCells;
using testsupport::ReadBytes;

class RestructureWithOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    // Level 4 with 2 KiB blocks.
    name_ = testsupport::fixtures::Level4().filename().string();
    testsupport::CopyTable(testsupport::fixtures::Level4(), dir_.Path());
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName(name_);
  }

  void openExclusive() {
    table_.SetExclusive(true);
    table_.Open();
  }

  std::string messageOf(const std::string& option, const std::string& value) {
    try {
      blocksize::RestructureWithOption(table_, option, value);
    } catch (const engine::EDBEngineError& error) {
      return error.what();
    }
    return "";
  }

  testsupport::TempDir dir_;
  std::string name_;
  engine::TTable table_;
};

TEST_F(RestructureWithOptionTest, RefusesATableThatIsNotOpenOrNotExclusive) {
  EXPECT_EQ(messageOf("BLOCK SIZE", "4096"), "Table is not opened");
  EXPECT_FALSE(table_.Active());
  table_.Open();
  EXPECT_EQ(messageOf("BLOCK SIZE", "4096"), "Table must be opened exclusively");
  EXPECT_TRUE(table_.Active());
}

TEST_F(RestructureWithOptionTest, ChangesTheBlockSizeAndKeepsTheRecords) {
  const auto before = ReadAllCells(dir_.Path(), name_);
  ASSERT_EQ(before.size(), 2197u);
  openExclusive();
  blocksize::RestructureWithOption(table_, "BLOCK SIZE", "4096");
  EXPECT_TRUE(table_.Active());
  EXPECT_TRUE(table_.Exclusive());
  EXPECT_EQ(table_.RecordCount(), 2197);
  table_.Close();
  blocksize::TBDEUtil util;
  ASSERT_TRUE(util.ReadTableProps(dir_.Path() + name_));
  EXPECT_EQ(util.blockSizeKiB(), 4);
  EXPECT_EQ(util.level(), 4);
  EXPECT_EQ(ReadAllCells(dir_.Path(), name_), before);
}

TEST_F(RestructureWithOptionTest, ChangesTheLevelAndKeepsTheRecords) {
  const auto before = ReadAllCells(dir_.Path(), name_);
  openExclusive();
  blocksize::RestructureWithOption(table_, "LEVEL", "7");
  EXPECT_TRUE(table_.Active());
  table_.Close();
  blocksize::TBDEUtil util;
  ASSERT_TRUE(util.ReadTableProps(dir_.Path() + name_));
  EXPECT_EQ(util.level(), 7);
  EXPECT_EQ(util.blockSizeKiB(), 2);
  EXPECT_EQ(ReadAllCells(dir_.Path(), name_), before);
}

TEST_F(RestructureWithOptionTest, ARefusedRestructureReopensTheUnchangedTable) {
  const std::vector<uint8_t> before = ReadBytes(dir_.Path() + name_);
  openExclusive();
  // Level-4 tables can't have 16 KiB blocks.
  EXPECT_THROW(blocksize::RestructureWithOption(table_, "BLOCK SIZE", "16384"),
               engine::EDBEngineError);
  EXPECT_TRUE(table_.Active());
  EXPECT_TRUE(table_.Exclusive());
  table_.Close();
  EXPECT_EQ(ReadBytes(dir_.Path() + name_), before);
}

// A protected table is rebuilt only with its password among the session's: without it the
// restructure is refused and the table stays as it was; with it the table keeps its records
// and stays protected.
TEST(RestructureProtectedTest, NeedsThePasswordInTheSession) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir dir;
  const std::string path = testsupport::CopyTable(testsupport::fixtures::PasswordProtected(), dir.Path());
  engine::FileSystem& disk = engine::DefaultFileSystem();
  const std::string dump = testsupport::TableDumpText(path, *engine::UnlockedTableFiles(disk, path, "123"));
  const std::vector<uint8_t> before = ReadBytes(path);
  engine::TTable table;
  table.SetDatabaseName(dir.Path());
  table.SetTableName("encrypted.db");
  table.SetPassword("123");
  table.SetExclusive(true);
  table.Open();
  try {
    blocksize::RestructureWithOption(table, "BLOCK SIZE", "4096");
    ADD_FAILURE() << "ohne Kennwort in der Sitzung umstrukturiert";
  } catch (const engine::EDBEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), engine::kErrPasswordProtected) << error.what();
  }
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(ReadBytes(path), before);

  ASSERT_EQ(engine::AddPassword("falsch"), engine::kOk);
  ASSERT_EQ(engine::AddPassword("123"), engine::kOk);
  blocksize::RestructureWithOption(table, "BLOCK SIZE", "4096");
  EXPECT_EQ(engine::DropPassword("123"), engine::kOk);
  EXPECT_EQ(engine::DropPassword("falsch"), engine::kOk);
  EXPECT_EQ(engine::DropPassword("123"), engine::kErrNotFound);
  EXPECT_EQ(table.RecordCount(), 4);
  table.Close();
  EXPECT_TRUE(engine::IsTableProtected(disk, path));
  blocksize::TBDEUtil util;
  ASSERT_TRUE(util.ReadTableProps(path));
  EXPECT_EQ(util.blockSizeKiB(), 4);
  EXPECT_EQ(testsupport::TableDumpText(path, *engine::UnlockedTableFiles(disk, path, "123")), dump);
}

}  // namespace
