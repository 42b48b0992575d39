// A data file whose chain is walked as rows are asked for: opening reads no block, a row walks
// only as far as its block, and the whole walk ends with the same directory, count and notes
// as a walk at once. Damage is raised when the walk gets to it, and again on every later ask;
// the table component opens such a table and meets the damage where its rows need the chain.
// Such a browsing data file keeps what a pass read; one for a whole pass does not. (Header and
// chain disagreements walked either way: DamagedTable.HeaderAndChainDisagreementIsReadAround.)

#include <gtest/gtest.h>

#include <filesystem>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "component/bulk_table.h"
#include "component/table.h"
#include "engine/tests/table_damage.h"
#include "format/table_header.h"
#include "format/value_codec.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::FaultKind;

// The unkeyed sample: 2 KiB header and blocks, 55 records in blocks 1 → 2 → 3.
size_t BlockStart(int block) { return 2048 + static_cast<size_t>(block - 1) * 2048; }

// A copy of the unkeyed sample in `dir` changed by `change`; returns its path.
std::string DamagedCopy(const std::string& dir, const std::function<void(std::vector<uint8_t>&)>& change) {
  const std::string path = testsupport::CopyTable(fixtures::Unkeyed(), dir);
  damage::Damage(path, change);
  return path;
}

DataFile OpenData(FileSystem& fs, const std::string& path, DataAccess access, size_t cacheBytes = DataFile::kCacheBytes) {
  return DataFile(fs.Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path), cacheBytes, access);
}

// A table `name` in `dir` of `records` records with 1 KiB blocks, record i holding i + 1 (22 a
// block); returns its path.
std::string WriteNumbered(const std::string& dir, const std::string& name, int records) {
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Name", ftString, 40, false});
  const TBulkRowSource source = [records, next = 0](TBulkRow& row) mutable {
    if (next == records) return false;
    row.SetInteger(0, ++next);
    return true;
  };
  CreateTableInBulk(DefaultFileSystem(), dir, name, fields, TIndexDefs(), 1024, source);
  return dir + name;
}

TEST(ChainWalkOnDemand, ReadsNoBlockAtOpenAndOnlyAsFarAsTheRowAskedFor) {
  constexpr int kRecords = 5000;
  testsupport::TempDir dir;
  const std::string path = WriteNumbered(dir.Path(), "WEG.DB", kRecords);
  testsupport::FaultFileSystem fs(DefaultFileSystem());
  DataFile lazy = OpenData(fs, path, DataAccess::kBrowse, 0);  // chunks of one block
  EXPECT_EQ(fs.Count(FaultKind::Read), 0);
  ASSERT_EQ(DecodeIntValue(lazy.Record(100), 4), 101);
  // 22 records a block: row 100 lies in the fifth block.
  EXPECT_LE(fs.Count(FaultKind::Read), 5);
  EXPECT_TRUE(lazy.HasRecord(kRecords - 1));
  EXPECT_FALSE(lazy.HasRecord(kRecords));
  EXPECT_TRUE(lazy.Inconsistency().empty());

  DataFile eager = OpenData(DefaultFileSystem(), path, DataAccess::kWhole);
  EXPECT_EQ(lazy.RecordCount(), eager.RecordCount());
  ASSERT_EQ(lazy.Blocks().size(), eager.Blocks().size());
  for (size_t i = 0; i < eager.Blocks().size(); ++i) {
    EXPECT_EQ(lazy.Blocks()[i].block, eager.Blocks()[i].block) << i;
    EXPECT_EQ(lazy.Blocks()[i].firstRow, eager.Blocks()[i].firstRow) << i;
    EXPECT_EQ(lazy.Blocks()[i].count, eager.Blocks()[i].count) << i;
  }
  for (uint32_t row = 0; row < kRecords; row += 7) ASSERT_EQ(DecodeIntValue(lazy.Record(row), 4), static_cast<int32_t>(row + 1));
}

// A read that fails in the middle of the walk leaves it where it was: asked again, it reads on.
TEST(ChainWalkOnDemand, AFailedReadLeavesTheWalkToBeTakenUpAgain) {
  constexpr int kRecords = 5000;
  testsupport::TempDir dir;
  const std::string path = WriteNumbered(dir.Path(), "WEG.DB", kRecords);
  testsupport::FaultFileSystem fs(DefaultFileSystem());
  DataFile data = OpenData(fs, path, DataAccess::kBrowse, 0);  // chunks of one block
  ASSERT_TRUE(data.HasRecord(10));
  fs.FailNth(FaultKind::Read, 1);  // the next read, beyond block 1
  EXPECT_THROW(data.HasRecord(2000), EDBEngineError);
  EXPECT_TRUE(fs.Fired());
  fs.FailNth(FaultKind::Read, 0);
  EXPECT_EQ(DecodeIntValue(data.Record(2000), 4), 2001);
  EXPECT_EQ(data.RecordCount(), static_cast<uint32_t>(kRecords));
  EXPECT_TRUE(data.Inconsistency().empty()) << data.Inconsistency();
  for (uint32_t row = 0; row < kRecords; row += 13) ASSERT_EQ(DecodeIntValue(data.Record(row), 4), static_cast<int32_t>(row + 1));
}

// A browsing cursor keeps the blocks that a pass in order read, so that later moves read
// nothing again; a pass over the whole file takes turns with a few slots and keeps little.
TEST(DataAccess, ABrowsingCursorKeepsWhatAPassReadAndAWholePassDoesNot) {
  constexpr int kRecords = 150000;  // more than the few slots of a whole pass hold
  testsupport::TempDir dir;
  const std::string path = WriteNumbered(dir.Path(), "PASS.DB", kRecords);
  for (const DataAccess access : {DataAccess::kBrowse, DataAccess::kWhole}) {
    testsupport::FaultFileSystem fs(DefaultFileSystem());
    DataFile data = OpenData(fs, path, access);
    for (uint32_t row = 0; row < kRecords; ++row) ASSERT_EQ(DecodeIntValue(data.Record(row), 4), static_cast<int32_t>(row + 1));
    fs.ResetCounts();
    for (uint32_t row = 0; row < kRecords; row += 4999) ASSERT_EQ(DecodeIntValue(data.Record(row), 4), static_cast<int32_t>(row + 1));
    if (access == DataAccess::kBrowse)
      EXPECT_EQ(fs.Count(FaultKind::Read), 0);
    else
      EXPECT_GT(fs.Count(FaultKind::Read), 0);
  }
}

// A browsing cursor's pass in order reads runs of many blocks at once, also between blocks that
// random rows read before, and keeps them: every value is right and a second pass reads nothing.
TEST(DataAccess, ABrowsingPassReadsLongRunsAroundBlocksReadBefore) {
  constexpr int kRecords = 150000;
  testsupport::TempDir dir;
  const std::string path = WriteNumbered(dir.Path(), "RUNS.DB", kRecords);
  testsupport::FaultFileSystem fs(DefaultFileSystem());
  DataFile data = OpenData(fs, path, DataAccess::kBrowse);
  for (uint32_t row = 7; row < kRecords; row += 9973) ASSERT_EQ(DecodeIntValue(data.Record(row), 4), static_cast<int32_t>(row + 1));
  const int scattered = fs.Count(FaultKind::Read);
  fs.ResetCounts();
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t row = 0; row < kRecords; ++row) ASSERT_EQ(DecodeIntValue(data.Record(row), 4), static_cast<int32_t>(row + 1));
    const uint64_t megabytes = std::filesystem::file_size(path) >> 20;
    if (pass == 0)
      EXPECT_LE(fs.Count(FaultKind::Read), static_cast<int>(megabytes) + 2 * scattered + 8);
    else
      EXPECT_EQ(fs.Count(FaultKind::Read), 0);
    fs.ResetCounts();
  }
}

TEST(ChainWalkOnDemand, DamageIsRaisedWhereTheWalkMeetsItAndAgainOnEveryAsk) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    const char* cause;
  };
  const std::vector<Case> cases = {
      {"loop back to block 1", [](auto& b) { coding::PutU16(&b[BlockStart(2)], 1); }, "Schleife (Block 1)"},
      {"block beyond the file", [](auto& b) { coding::PutU16(&b[BlockStart(2)], 40); }, "außerhalb der Datei (Block 40)"},
      {"bad record count", [](auto& b) { coding::PutU16(&b[BlockStart(3) + 4], 7); }, "Satzanzahl im Blockkopf (Block 3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const std::string path = DamagedCopy(dir.Path(), c.change);
    DataFile lazy = OpenData(DefaultFileSystem(), path, DataAccess::kBrowse);
    EXPECT_TRUE(lazy.HasRecord(0));  // block 1 is sound
    std::string first;
    for (int ask = 0; ask < 2; ++ask) {
      try {
        lazy.RecordCount();
        ADD_FAILURE() << "kein Fehler";
      } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), kErrCorrupt);
        const std::string message = e.what();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(c.cause), std::string::npos) << message;
        if (ask == 0) first = message;
        EXPECT_EQ(message, first);
      }
    }
    EXPECT_THROW(OpenData(DefaultFileSystem(), path, DataAccess::kWhole), EDBEngineError);
  }
}

TEST(ChainWalkOnDemand, TheTableOpensAtOnceAndMeetsChainDamageWhenItsRowsNeedTheChain) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir dir;
  DamagedCopy(dir.Path(), [](auto& b) { coding::PutU16(&b[BlockStart(2)], 2); });  // block 2 follows itself
  TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("CONTACTS.DB");
  t.Open();
  EXPECT_FALSE(t.Eof());
  EXPECT_FALSE(t.Fields(0).AsString().empty());
  try {
    t.Last();
    ADD_FAILURE() << "kein Fehler";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrCorrupt);
    EXPECT_NE(std::string(e.what()).find("Schleife"), std::string::npos) << e.what();
  }
  // A scan stops with the same error where it reaches the loop.
  int read = 0;
  EXPECT_THROW(
      {
        for (t.First(); !t.Eof(); t.Next()) ++read;
      },
      EDBEngineError);
  EXPECT_GT(read, 0);
}

// Damage at the first block is met by the open itself: it raises and leaves the table closed,
// so that opening again does not pass as done.
TEST(ChainWalkOnDemand, AnOpenThatMeetsDamageAtTheFirstBlockLeavesTheTableClosed) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir dir;
  DamagedCopy(dir.Path(), [](auto& b) { coding::PutU16(&b[hdr::kFirstBlock], 40); });  // first block beyond the file
  TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("CONTACTS.DB");
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_THROW(t.Open(), EDBEngineError) << attempt;
    EXPECT_FALSE(t.Active()) << attempt;
  }
}

// The open table's rows as text, each "Nr|Name".
std::vector<std::string> RowTexts(TTable& t) {
  std::vector<std::string> rows;
  for (int row = 0; row < t.RecordCount(); ++row) rows.push_back(t.CellText(row, 0) + "|" + t.CellText(row, 1));
  return rows;
}

// Posts and deletes on a table of many chunks, made after its chain was walked only in part or
// whole, leave it showing what a freshly opened table shows.
TEST(ChainWalkOnDemand, WritesAfterAPartOrAllOfTheWalkShowWhatTheFileHolds) {
  for (const bool wholeWalk : {false, true}) {
    SCOPED_TRACE(wholeWalk ? "ganz gegangen" : "zum Teil gegangen");
    testsupport::TempDir dir;
    WriteNumbered(dir.Path(), "WEG.DB", 5000);
    TTable t;
    t.SetDatabaseName(dir.Path());
    t.SetTableName("WEG.DB");
    t.Open();
    if (wholeWalk)
      t.Last();
    else
      t.MoveTo(3000);
    std::mt19937 random(5);
    for (int step = 0; step < 30; ++step) {
      t.MoveTo(static_cast<int>(random() % static_cast<uint32_t>(t.RecordCount())));
      switch (random() % 3) {
        case 0: t.Edit(); break;
        case 1: t.Insert(); break;
        default: t.Delete(); continue;
      }
      t.Fields(0).SetAsInteger(100000 + step);
      t.Fields(1).SetAsString("Schritt " + std::to_string(step));
      t.Post();
    }
    TTable fresh;
    fresh.SetDatabaseName(dir.Path());
    fresh.SetTableName("WEG.DB");
    fresh.Open();
    ASSERT_EQ(t.RecordCount(), fresh.RecordCount());
    EXPECT_TRUE(RowTexts(t) == RowTexts(fresh));
  }
}

}  // namespace
}  // namespace engine
