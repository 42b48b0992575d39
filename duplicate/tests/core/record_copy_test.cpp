// The duplication's work on the engine: the duplicate's definitions and format, the record copy
// with its auto-increment rule, stopping, failures, and what may never be replaced.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "component/bulk_table.h"
#include "component/table.h"
#include "direct/table_files.h"
#include "duplicate/core/record_copy.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace duplicate {
namespace {

namespace fs = std::filesystem;
using engine::TTable;
using testsupport::TempDir;

engine::FileSystem& Disk() { return engine::DefaultFileSystem(); }

// A keyed table: Nr (auto-increment or long) as key, Name with a secondary index, Code, a memo.
struct Row {
  int32_t nr;
  std::string name;
  std::string memo;  // empty: null
};

void MakeTable(const std::string& dir, const std::string& name, bool autoIncrement, const std::vector<Row>& rows) {
  TTable defs;
  defs.FieldDefs().Add({"Nr", autoIncrement ? engine::ftAutoInc : engine::ftInteger, 0, false});
  defs.FieldDefs().Add({"Name", engine::ftString, 20, false});
  defs.FieldDefs().Add({"Code", engine::ftString, 4, false});
  defs.FieldDefs().Add({"Notiz", engine::ftMemo, 10, false});
  defs.IndexDefs().Add({"", "Nr", "", engine::ixPrimary});
  defs.IndexDefs().Add({"NameIdx", "Name", "", engine::ixCaseInsensitive});
  size_t next = 0;
  engine::CreateTableInBulk(Disk(), dir, name, defs.FieldDefs(), defs.IndexDefs(), 0, [&](engine::TBulkRow& row) {
    if (next == rows.size()) return false;
    const Row& r = rows[next++];
    row.SetInteger(0, r.nr);
    row.SetString(1, r.name);
    row.SetString(2, "C" + std::to_string(r.nr % 1000));
    if (!r.memo.empty()) row.SetBlob(3, r.memo);
    return true;
  });
}

struct Opened {
  TTable table;
  explicit Opened(const std::string& dir, const std::string& name, engine::FileSystem* fs = nullptr) {
    if (fs != nullptr) table.SetFileSystem(fs);
    table.SetDatabaseName(dir);
    table.SetTableName(name);
    table.Open();
  }
};

std::vector<int32_t> FirstFieldValues(const std::string& dir, const std::string& name) {
  Opened t(dir, name);
  std::vector<int32_t> out;
  for (t.table.First(); !t.table.Eof(); t.table.Next()) out.push_back(t.table.Fields(0).AsInteger());
  return out;
}

// The value the next appended record gets: the duplicate's counter plus one.
int32_t NextCounterValue(const std::string& dir, const std::string& name) {
  Opened t(dir, name);
  t.table.Append();
  t.table.Fields(1).SetAsString("neu");
  t.table.Fields(2).SetAsString("N");
  t.table.Post();
  t.table.Last();
  return t.table.Fields(0).AsInteger();
}

CopySteps CopyAll() {
  return {[] { return true; }, [] {}};
}

int64_t Duplicate(TTable& source, const std::string& dir, const std::string& name, const CopySteps& steps = CopyAll()) {
  CreateDuplicate(Disk(), source, dir, name);
  source.SetIndexName("");
  source.First();
  return CopyRecords(Disk(), source, dir, name, steps);
}

TEST(RecordCopy, AutoIncrementValuesAndGapsAreKeptWithTheCounter) {
  TempDir src, dest;
  MakeTable(src.Path(), "QUELLE.DB", true, {{1, "a", ""}, {2, "b", ""}, {5, "c", "Notiz"}});
  Opened source(src.Path(), "QUELLE.DB");
  EXPECT_EQ(Duplicate(source.table, dest.Path(), "QUELLE.DB"), 3);
  EXPECT_EQ(FirstFieldValues(dest.Path(), "QUELLE.DB"), (std::vector<int32_t>{1, 2, 5}));
  EXPECT_EQ(NextCounterValue(dest.Path(), "QUELLE.DB"), 6);
}

TEST(RecordCopy, AutoIncrementValueBelowTheCounterTakesTheNextOne) {
  TempDir src, dest;
  // A key starts with the first field, so falling values come from a table without key, read in
  // its stored order.
  TTable defs;
  defs.FieldDefs().Add({"Nr", engine::ftAutoInc, 0, false});
  defs.FieldDefs().Add({"Name", engine::ftString, 20, false});
  const std::vector<std::pair<std::string, int32_t>> rows{{"a", 3}, {"b", 1}, {"c", 3}, {"d", 9}};
  size_t next = 0;
  engine::CreateTableInBulk(Disk(), src.Path(), "FALLEND.DB", defs.FieldDefs(), defs.IndexDefs(), 0,
                            [&](engine::TBulkRow& row) {
                              if (next == rows.size()) return false;
                              row.SetInteger(0, rows[next].second);
                              row.SetString(1, rows[next++].first);
                              return true;
                            });
  Opened source(src.Path(), "FALLEND.DB");
  Duplicate(source.table, dest.Path(), "FALLEND.DB");
  EXPECT_EQ(FirstFieldValues(dest.Path(), "FALLEND.DB"), (std::vector<int32_t>{3, 4, 5, 9}));
}

TEST(RecordCopy, CopiesInPrimaryKeyOrderWithTheSourcesDefinitionsAtTheDefaultFormat) {
  SKIP_WITHOUT_FIXTURES();
  TempDir src, dest, plain;
  // 16 KiB blocks at level 7 with a secondary index: the duplicate takes the defaults.
  const std::string copied = testsupport::CopyTable(testsupport::fixtures::BlockSize16K(), src.Path());
  const std::string name = fs::path(copied).filename().string();
  Opened source(src.Path(), name);
  source.table.SetIndexName("ste");
  EXPECT_EQ(Duplicate(source.table, dest.Path(), name), source.table.RecordCount());

  TTable created;
  created.SetDatabaseName(plain.Path());
  created.SetTableName("LEER.DB");
  created.FieldDefs().Assign(source.table.FieldDefs());
  created.IndexDefs().Assign(source.table.IndexDefs());
  created.CreateTable();
  std::ostringstream duplicateFigures, defaultFigures;
  engine::DescribeTable(Disk(), dest.Path() + name, duplicateFigures);
  engine::DescribeTable(Disk(), plain.Path() + "LEER.DB", defaultFigures);
  // Level and block size: the second and third lines of the description.
  auto formatLines = [](const std::string& text) {
    const size_t start = text.find('\n') + 1;
    return text.substr(start, text.find("Datensatzlänge") - start);
  };
  EXPECT_EQ(formatLines(duplicateFigures.str()), formatLines(defaultFigures.str()));
  EXPECT_EQ(formatLines(duplicateFigures.str()).find("16384"), std::string::npos);

  Opened copy(dest.Path(), name);
  copy.table.IndexDefs().Update();
  ASSERT_EQ(copy.table.IndexDefs().Count(), source.table.IndexDefs().Count());
  for (int i = 0; i < copy.table.IndexDefs().Count(); ++i) {
    EXPECT_EQ(copy.table.IndexDefs()[i].Name, source.table.IndexDefs()[i].Name);
    EXPECT_EQ(copy.table.IndexDefs()[i].Fields, source.table.IndexDefs()[i].Fields);
    EXPECT_EQ(copy.table.IndexDefs()[i].Options, source.table.IndexDefs()[i].Options);
  }
  source.table.SetIndexName("");
  copy.table.SetIndexName("ste");
  source.table.SetIndexName("ste");
  for (source.table.First(), copy.table.First(); !source.table.Eof(); source.table.Next(), copy.table.Next()) {
    for (int f = 0; f < source.table.FieldCount(); ++f)
      ASSERT_EQ(copy.table.Fields(f).AsString(), source.table.Fields(f).AsString()) << "row " << source.table.RecNo();
  }
}

TEST(RecordCopy, EmptySourceGivesAnEmptyDuplicate) {
  TempDir src, dest;
  MakeTable(src.Path(), "LEER.DB", true, {});
  Opened source(src.Path(), "LEER.DB");
  EXPECT_EQ(Duplicate(source.table, dest.Path(), "LEER.DB"), 0);
  EXPECT_TRUE(FirstFieldValues(dest.Path(), "LEER.DB").empty());
}

TEST(RecordCopy, StopAskedWhileRecordKIsInHandKeepsExactlyKRecords) {
  TempDir src, dest;
  std::vector<Row> rows;
  for (int i = 1; i <= 10; ++i) rows.push_back({i * 2, "n" + std::to_string(i), ""});
  MakeTable(src.Path(), "STOPP.DB", false, rows);
  for (int k : {1, 4, 10}) {
    SCOPED_TRACE(k);
    Opened source(src.Path(), "STOPP.DB");
    bool proceed = true;
    int advanced = 0;
    const CopySteps steps{[&] { return proceed; }, [&] {
                            if (++advanced == k) proceed = false;
                          }};
    EXPECT_EQ(Duplicate(source.table, dest.Path(), "STOPP.DB", steps), k);
    EXPECT_EQ(FirstFieldValues(dest.Path(), "STOPP.DB").size(), static_cast<size_t>(k));
  }
}

TEST(RecordCopy, FailureWithRecordKKeepsTheRecordsBeforeIt) {
  TempDir src, dest;
  std::vector<Row> rows;
  // Every memo is long enough to live in the .MB, so each record reads that file.
  for (int i = 1; i <= 8; ++i) rows.push_back({i, "n" + std::to_string(i), std::string(200, 'a' + i)});
  MakeTable(src.Path(), "FEHLER.DB", false, rows);
  testsupport::FaultFileSystem faults(Disk());
  Opened source(src.Path(), "FEHLER.DB", &faults);
  int advanced = 0;
  const int k = 5;
  const CopySteps steps{[] { return true; }, [&] {
                          if (++advanced == k) faults.FailNth(testsupport::FaultKind::Read, 1, true);
                        }};
  CreateDuplicate(Disk(), source.table, dest.Path(), "FEHLER.DB");
  source.table.First();
  EXPECT_THROW(CopyRecords(Disk(), source.table, dest.Path(), "FEHLER.DB", steps), engine::EDBEngineError);
  EXPECT_TRUE(faults.Fired());
  EXPECT_EQ(FirstFieldValues(dest.Path(), "FEHLER.DB"), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST(RecordCopy, TheSourceItselfIsNeverTheTarget) {
  TempDir src;
  MakeTable(src.Path(), "SELBST.DB", false, {{1, "a", ""}});
  const std::string before = testsupport::TableDumpText(src.Path() + "SELBST.DB");
  Opened source(src.Path(), "SELBST.DB");
  // The same directory spelt another way names the same table.
  const std::string otherSpelling = src.Path() + "./";
  try {
    CreateDuplicate(Disk(), source.table, otherSpelling, "SELBST.DB");
    FAIL() << "the source was accepted as its own target";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("eigenes Duplikat"), std::string::npos) << e.what();
  }
  source.table.Close();
  EXPECT_EQ(testsupport::TableDumpText(src.Path() + "SELBST.DB"), before);
}

TEST(RecordCopy, TargetOpenElsewhereIsRefusedWithNothingDeleted) {
  TempDir src, dest;
  MakeTable(src.Path(), "QUELLE.DB", false, {{1, "a", "lang genug, um in der MB-Datei zu stehen, wirklich lang"}});
  MakeTable(dest.Path(), "QUELLE.DB", false, {{7, "alt", ""}});
  const auto familyBefore = testsupport::TableFamily(dest.Path() + "QUELLE.DB");
  Opened source(src.Path(), "QUELLE.DB");
  {
    Opened held(dest.Path(), "QUELLE.DB");
    try {
      CreateDuplicate(Disk(), source.table, dest.Path(), "QUELLE.DB");
      FAIL() << "an open table was replaced";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrLocked) << e.what();
    }
  }
  EXPECT_EQ(testsupport::TableFamily(dest.Path() + "QUELLE.DB"), familyBefore);
  EXPECT_EQ(FirstFieldValues(dest.Path(), "QUELLE.DB"), (std::vector<int32_t>{7}));
}

TEST(RecordCopy, ExistingTargetFamilyIsReplacedWhole) {
  TempDir src, dest;
  MakeTable(src.Path(), "kunden.db", false, {{1, "a", ""}, {2, "b", ""}});
  // The old table of that name in another letter case, with companions the new one does not have.
  MakeTable(dest.Path(), "KUNDEN.DB", false, {{9, "alt", std::string(300, 'm')}});
  for (const char* extra : {"KUNDEN.X05", "KUNDEN.Y05", "kunden.XG3", "Kunden.YG3", "KUNDEN.VAL"})
    std::ofstream(dest.Path() + extra) << "alt";
  Opened source(src.Path(), "kunden.db");
  Duplicate(source.table, dest.Path(), "kunden.db");
  std::vector<std::string> names;
  for (const fs::path& file : testsupport::TableFamily(dest.Path() + "kunden.db")) names.push_back(file.filename().string());
  for (const std::string& name : names) {
    EXPECT_EQ(name.substr(0, 6), "kunden") << name;
    EXPECT_EQ(name.find("5"), std::string::npos) << name;
    EXPECT_EQ(name.find("G3"), std::string::npos) << name;
    EXPECT_EQ(name.find("VAL"), std::string::npos) << name;
  }
  EXPECT_EQ(FirstFieldValues(dest.Path(), "kunden.db"), (std::vector<int32_t>{1, 2}));
}

}  // namespace
}  // namespace duplicate
