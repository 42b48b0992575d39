#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "blocksize/core/bde_util.h"
#include "blocksize/core/table_scan.h"
#include "family/restructure.h"
#include "io/engine_error.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using blocksize::TableScanRow;
using testsupport::CopyTable;
using testsupport::TempDir;

std::string plain(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void touch(const std::string& path, const std::string& content = "") {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(ListParadoxTablesTest, ListsTableFilesOfAnyCaseSorted) {
  TempDir dir;
  for (const char* name : {"b.DB", "a.db", "C.Db", ".hidden.db", "notes.txt", "x.dbf", "db"}) {
    touch(dir.Path() + name);
  }
  fs::create_directory(dir.Path() + "folder.db");
  fs::create_symlink(dir.Path() + "a.db", dir.Path() + "link.db");
  const std::vector<std::string> expected = {".hidden.db", "C.Db", "a.db", "b.DB", "link.db"};
  EXPECT_EQ(blocksize::listParadoxTables(dir.Path()), expected);
}

TEST(ListParadoxTablesTest, EmptyDirectoryGivesNoTables) {
  TempDir dir;
  EXPECT_TRUE(blocksize::listParadoxTables(dir.Path()).empty());
}

// A restructure killed once it had renamed the old .DB away leaves the table under temporary
// names only; the scan must still find it, whole, and leave no temporary file behind.
TEST(ListParadoxTablesTest, FindsATableAKilledRestructureHadRenamedAway) {
  SKIP_WITHOUT_FIXTURES();
  for (int k = 1;; ++k) {
    TempDir dir;
    const std::string table = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
    const std::string name = fs::path(table).filename().string();
    testsupport::FaultFileSystem dying(engine::DefaultFileSystem());
    dying.StopDeadAfter(k);
    try {
      engine::RestructureTableFiles(dying, dir.Path(), name, engine::TableFormat{0, 4096});
    } catch (const engine::EDBEngineError&) {
    }
    ASSERT_TRUE(dying.Dead()) << "the restructure never renamed the .DB away";
    if (fs::exists(table)) continue;
    EXPECT_EQ(blocksize::listParadoxTables(dir.Path()), std::vector<std::string>{name});
    engine::TTable t;
    blocksize::TBDEUtil util;
    const TableScanRow row = blocksize::scanTable(&util, t, dir.Path(), name);
    EXPECT_TRUE(row.Props.has_value());
    EXPECT_EQ(row.UsedRecords, 20);
    for (const auto& entry : fs::directory_iterator(dir.Path()))
      EXPECT_EQ(entry.path().filename().string().find(".~kb"), std::string::npos) << entry.path();
    break;
  }
}

TEST(ListParadoxTablesTest, UnreadableDirectoryRaisesAGermanMessage) {
  TempDir dir;
  const std::string missing = dir.Path() + "fehlt/";
  try {
    blocksize::listParadoxTables(missing);
    FAIL() << "no error for a missing directory";
  } catch (const blocksize::ScanError& error) {
    EXPECT_NE(std::string(error.what()).find("kann nicht gelesen werden"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("Es existiert nicht."), std::string::npos);
  }
  touch(dir.Path() + "datei");
  EXPECT_THROW(blocksize::listParadoxTables(dir.Path() + "datei/"), blocksize::ScanError);
}

TEST(ScanRowCellsTest, LeavesUnknownFiguresEmpty) {
  TableScanRow known;
  known.FileName = "KUNDEN.DB";
  known.Props = blocksize::TableProps{7, 100, 4, 2048};
  known.Capacity = blocksize::computeCapacity(100, 2048);
  known.UsedRecords = 5000;
  known.FreeRecords = known.Capacity.Total - 5000;
  known.PercentFull = blocksize::percentFull(5000, known.Capacity.Total);
  const std::array<std::string, blocksize::kColumnCount> knownCells = {
      "KUNDEN.DB", "7", "100", "20", "2", "4", "2048", "1310720", "5000", "1305720", "0.4"};
  EXPECT_EQ(blocksize::scanRowCells(known, plain), knownCells);

  TableScanRow unknown;
  unknown.FileName = "X.db";
  const std::array<std::string, blocksize::kColumnCount> unknownCells = {
      "X.db", "", "", "", "", "", "", "0", "error", "0", ""};
  EXPECT_EQ(blocksize::scanRowCells(unknown, plain), unknownCells);
}

class ScanTableTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
};

TEST_F(ScanTableTest, ScansEveryKindOfFileAndGoesOn) {
  TempDir dir;
  for (const fs::path& table : {fixtures::KeyedWithBlobs(), fixtures::Level3(), fixtures::BlockSize16K(),
                                fixtures::PasswordProtected()})
    CopyTable(table, dir.Path());
  touch(dir.Path() + "X.db", "kein Paradox\n");

  blocksize::TBDEUtil util;
  engine::TTable table;
  std::vector<std::array<std::string, blocksize::kColumnCount>> cells;
  for (const std::string& name : blocksize::listParadoxTables(dir.Path())) {
    cells.push_back(blocksize::scanRowCells(blocksize::scanTable(&util, table, dir.Path(), name),
                                            plain));
    EXPECT_FALSE(table.Active()) << name;
  }
  using Row = std::array<std::string, blocksize::kColumnCount>;
  const std::vector<Row> expected = {
      // 3.0 table, 106-byte records in 1 KiB blocks: 9 per block, 64 bytes spare.
      {"AREACODE.DB", "6", "106", "9", "7", "3", "1024", "589824", "239", "589585", "0.0"},
      {"AREACODES.DB", "3", "165", "99", "0", "7", "16384", "6488064", "370", "6487694", "0.0"},
      {"CUSTOMER.DB", "10", "394", "5", "14", "7", "2048", "327680", "20", "327660", "0.0"},
      {"X.db", "", "", "", "", "", "", "0", "error", "0", ""},
      // Password-protected: its records are not readable, its header with the record count is.
      {"encrypted.db", "2", "34", "60", "0", "5", "2048", "3932160", "4", "3932156", "0.0"},
  };
  EXPECT_EQ(cells, expected);
}

TEST_F(ScanTableTest, WithoutSessionOnlyCountsRecords) {
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  engine::TTable table;
  const TableScanRow row = blocksize::scanTable(nullptr, table, dir.Path(), "CUSTOMER.DB");
  EXPECT_FALSE(row.Props.has_value());
  EXPECT_EQ(row.UsedRecords, 20);
  EXPECT_EQ(row.FreeRecords, -20);
  EXPECT_FALSE(row.PercentFull.has_value());
}

TEST_F(ScanTableTest, ATableHeldExclusivelyElsewhereShowsError) {
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  engine::TTable holder;
  holder.SetDatabaseName(dir.Path());
  holder.SetTableName("CUSTOMER.DB");
  holder.SetExclusive(true);
  holder.Open();
  blocksize::TBDEUtil util;
  engine::TTable table;
  const TableScanRow row = blocksize::scanTable(&util, table, dir.Path(), "CUSTOMER.DB");
  EXPECT_TRUE(row.Props.has_value());
  EXPECT_FALSE(row.UsedRecords.has_value());
  EXPECT_EQ(row.FreeRecords, row.Capacity.Total);
  EXPECT_DOUBLE_EQ(*row.PercentFull, 0.0);
  EXPECT_FALSE(table.Active());
}

}  // namespace
