// The rows read on a thread of their own: they come as the reading on one thread gives them,
// the end and a failure of the reading reach the caller, and leaving early ends the thread.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/row_pipeline.h"
#include "component/bulk_table.h"
#include "component/table.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/temp_dir.h"
#include "testsupport/threads_refused.h"

namespace {

using testsupport::TempDir;

// A table of `rows` rows (number, name: blank in every third) in `dir`; returns its path.
std::string NumberedTable(const TempDir& dir, int rows) {
  engine::TFieldDefs fields;
  fields.Add({"Nr", engine::ftInteger, 0, false});
  fields.Add({"Name", engine::ftString, 12, false});
  int next = 0;
  engine::CreateTableInBulk(engine::DefaultFileSystem(), dir.Path(), "ZAHLEN.DB", fields, engine::TIndexDefs(), 2048,
                            [&](engine::TBulkRow& row) {
                              if (next == rows) return false;
                              row.SetInteger(0, next);
                              if (next % 3) row.SetString(1, "Name " + std::to_string(next));
                              ++next;
                              return true;
                            });
  return dir.Path() + "ZAHLEN.DB";
}

std::string CellsText(const engine::Cell* cells, size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) text += engine::CellText(cells[i]) + (cells[i].kind == engine::CellKind::Null ? "-" : "") + ";";
  return text;
}

TEST(RowPipeline, GivesEveryRowInOrderAsTheReadingOnOneThread) {
  TempDir dir;
  // More rows than the batches in turn hold, and a last batch that is not full.
  const std::string path = NumberedTable(dir, 2500);
  std::string expected;
  engine::ReadFindings alone;
  engine::ReadTableRows(engine::DefaultFileSystem(), path, [](const engine::TableShape&) { return true; },
                        [&](const std::vector<engine::Cell>& cells) { expected += CellsText(cells.data(), cells.size()); },
                        &alone);
  std::string got;
  engine::ReadFindings findings;
  {
    cli::RowPipeline rows(engine::DefaultFileSystem(), path, 2, &findings);
    size_t n = 0;
    while (const engine::Cell* cells = rows.Next(&n)) got += CellsText(cells, n * 2);
    EXPECT_EQ(rows.Next(&n), nullptr);
    EXPECT_EQ(n, 0u);
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(findings.notes, alone.notes);
  EXPECT_EQ(findings.unreadable, alone.unreadable);
}

TEST(RowPipeline, AFailureOfTheReadingReachesTheCallerAndLeavingEarlyEndsTheThread) {
  TempDir dir;
  {
    cli::RowPipeline rows(engine::DefaultFileSystem(), dir.Path() + "FEHLT.DB", 2, nullptr);
    size_t n = 0;
    EXPECT_THROW(rows.Next(&n), engine::EDBEngineError);
  }
  const std::string path = NumberedTable(dir, 5000);
  {
    // The reading waits for batches the caller never gives back, until it is told to stop.
    cli::RowPipeline rows(engine::DefaultFileSystem(), path, 2, nullptr);
    size_t n = 0;
    ASSERT_NE(rows.Next(&n), nullptr);
    EXPECT_GT(n, 0u);
  }
  // The table's lock went with the thread: it can be opened exclusively.
  engine::TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("ZAHLEN.DB");
  t.SetExclusive(true);
  EXPECT_NO_THROW(t.Open());
}

// Without a thread to be had the export is refused in German before anything is read, and the
// table is left free.
TEST(RowPipeline, WithoutASecondThreadTheReadingIsRefusedWithAMessage) {
  TempDir dir;
  const std::string path = NumberedTable(dir, 10);
  {
    const testsupport::ThreadsRefused refused;
    try {
      cli::RowPipeline rows(engine::DefaultFileSystem(), path, 2, nullptr);
      ADD_FAILURE() << "the reading started without a thread";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find("kein zweiter Thread"), std::string::npos) << e.what();
    }
  }
  engine::TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("ZAHLEN.DB");
  t.SetExclusive(true);
  EXPECT_NO_THROW(t.Open());
}

}  // namespace
