// The dump lines built a run of rows at a time, by two threads where the blob values can be read
// from memory, are the lines of the records read one by one, across many runs: with values in
// the .MB, with a .MB too large to be read whole (one thread), with the .MB missing (the same
// causes, counted alike), by one thread alone when no second can be had, and up to a read that
// fails, which is raised after the lines before it.

#include <gtest/gtest.h>

#include <filesystem>

#include "component/bulk_table.h"
#include "direct/record_lines.h"
#include "family/table_cursor.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/temp_dir.h"
#include "testsupport/threads_refused.h"

namespace engine {
namespace {

constexpr int kRecords = 120000;  // about 7 MB of records: more than the walk at open keeps
constexpr uint64_t kInMemory = uint64_t{64} << 20;

// Record i: its number, a name, an amount and a memo, every seventh one too long for its
// leader, so that it lies in the .MB.
void WriteTable(const std::string& dir) {
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Name", ftString, 24, false});
  fields.Add({"Betrag", ftCurrency, 0, false});
  fields.Add({"Notiz", ftMemo, 12, false});
  const TBulkRowSource source = [next = 0](TBulkRow& row) mutable {
    if (next == kRecords) return false;
    row.SetInteger(0, next + 1);
    row.SetString(1, "Satz\t" + std::to_string(next));
    row.SetFloat(2, next * 0.37);
    row.SetBlob(3, next % 7 == 0 ? "Lange Notiz zu Satz " + std::to_string(next) : "N" + std::to_string(next % 100));
    ++next;
    return true;
  };
  CreateTableInBulk(DefaultFileSystem(), dir, "LANG.DB", fields, TIndexDefs(), 2048, source);
}

struct Lines {
  std::string text;
  int pieces = 0;
  std::vector<std::string> unreadable;
};

Lines OneByOne(FileSystem& fs, const std::string& dir) {
  Lines lines;
  auto cursor = TableCursor::Open(fs, dir, "LANG.DB");
  ForEachRecordLine(
      *cursor, [&](const std::string& line) { lines.text += line + '\n'; }, lines.unreadable);
  return lines;
}

Lines InPieces(FileSystem& fs, const std::string& dir, uint64_t blobBytesInMemory) {
  Lines lines;
  auto cursor = TableCursor::Open(fs, dir, "LANG.DB");
  ForEachRecordLinePiece(
      *cursor, blobBytesInMemory,
      [&](const std::string& piece) {
        lines.text += piece;
        ++lines.pieces;
      },
      lines.unreadable);
  return lines;
}

TEST(DumpPieces, RunsBuiltByTwoThreadsOrOneGiveTheLinesOfTheRecordsReadOneByOne) {
  testsupport::TempDir dir;
  WriteTable(dir.Path());
  const Lines expected = OneByOne(DefaultFileSystem(), dir.Path());
  ASSERT_EQ(std::count(expected.text.begin(), expected.text.end(), '\n'), kRecords);
  EXPECT_TRUE(expected.unreadable.empty());
  for (const uint64_t inMemory : {kInMemory, uint64_t{0}}) {
    const Lines pieces = InPieces(DefaultFileSystem(), dir.Path(), inMemory);
    EXPECT_GT(pieces.pieces, 3) << inMemory;
    EXPECT_EQ(pieces.text, expected.text) << inMemory;
    EXPECT_TRUE(pieces.unreadable.empty()) << inMemory;
  }

  // Without the .MB every long memo reads as "?", its cause counted once per value by both.
  std::filesystem::remove(dir.Path() + "LANG.MB");
  const Lines missing = OneByOne(DefaultFileSystem(), dir.Path());
  ASSERT_EQ(missing.unreadable.size(), 1u);
  EXPECT_NE(missing.unreadable[0].find("(" + std::to_string((kRecords + 6) / 7) + " Werte)"), std::string::npos)
      << missing.unreadable[0];
  for (const uint64_t inMemory : {kInMemory, uint64_t{0}}) {
    const Lines pieces = InPieces(DefaultFileSystem(), dir.Path(), inMemory);
    EXPECT_EQ(pieces.text, missing.text) << inMemory;
    EXPECT_EQ(pieces.unreadable, missing.unreadable) << inMemory;
  }
}

TEST(DumpPieces, WithoutASecondThreadOneBuildsEveryRun) {
  testsupport::TempDir dir;
  WriteTable(dir.Path());
  const Lines expected = OneByOne(DefaultFileSystem(), dir.Path());
  const testsupport::ThreadsRefused refused;
  const Lines pieces = InPieces(DefaultFileSystem(), dir.Path(), kInMemory);
  EXPECT_EQ(pieces.text, expected.text);
  EXPECT_TRUE(pieces.unreadable.empty());
}

TEST(DumpPieces, AFailingReadIsRaisedAfterTheLinesOfTheRecordsBeforeIt) {
  testsupport::TempDir dir;
  WriteTable(dir.Path());
  const std::string whole = OneByOne(DefaultFileSystem(), dir.Path()).text;
  testsupport::FaultFileSystem fs(DefaultFileSystem());
  auto cursor = TableCursor::Open(fs, dir.Path(), "LANG.DB");
  // The .MB is read whole first, then the records a megabyte at a time: the fourth read fails.
  fs.FailNth(testsupport::FaultKind::Read, 4, true);
  std::string given;
  std::vector<std::string> unreadable;
  EXPECT_THROW(ForEachRecordLinePiece(
                   *cursor, kInMemory, [&](const std::string& piece) { given += piece; }, unreadable),
               EDBEngineError);
  EXPECT_TRUE(fs.Fired());
  ASSERT_FALSE(given.empty());
  EXPECT_LT(given.size(), whole.size());
  EXPECT_EQ(whole.compare(0, given.size(), given), 0);
  EXPECT_EQ(given.back(), '\n');
}

}  // namespace
}  // namespace engine
