// A process killed in the middle of a restructure, a copy, a post or a delete: the file system
// stops dead after the k-th change (no clean-up code runs), and then the next command touches the
// table on a fresh view of the disk. Whatever command that is (open, dump, info, copy,
// restructure), it must find the table wholly old or wholly new, with index files that agree with
// the records, and no temporary file of the interrupted work may be left afterwards. Every k from
// the first change to the last is tried.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "component/table.h"
#include "direct/table_files.h"
#include "family/restructure.h"
#include "format/table_header.h"
#include "io/engine_error.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_dump_text.h"

namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::FaultFileSystem;
using testsupport::MemoryFileSystem;
using testsupport::TableDumpText;

const std::string kDir = "/mem/";
using Snapshot = std::map<std::string, std::string>;

// Paths of temporary files of a commit or a post (".~kbnew", ".~kbold", ".~kblist", ".~kbjrn").
std::vector<std::string> Leftovers(const MemoryFileSystem& fs) {
  std::vector<std::string> found;
  for (const std::string& path : fs.Paths())
    if (path.find(".~kb") != std::string::npos) found.push_back(path);
  return found;
}

// What the test kills: an operation on the table at `table`. One that writes a new family and
// swaps it in leaves the old family's files or files of the new one's sizes; a post or a delete
// changes the files in place and leaves them byte for byte as they were, or as the whole change
// made them.
struct Killed {
  const char* what;
  std::string table;
  std::function<void(engine::FileSystem&)> run;
  bool swapsFamily = true;
  // Checks that the uninterrupted operation did what the test means to kill (old, new family).
  std::function<void(const Snapshot&, const Snapshot&)> check = nullptr;
};

// The engine's notes on the table (stale or damaged index files, for instance), after reading
// every index order.
std::vector<std::string> NotesOn(MemoryFileSystem& fs, const std::string& table) {
  std::ostringstream out;
  engine::DescribeTable(fs, table, out);
  std::vector<std::string> notes;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("Hinweis:", 0) == 0) notes.push_back(line);
  return notes;
}

// The table's records, each as one line of its cells, sorted, read in the order of index `index`
// ("" for the primary order).
std::vector<std::string> SortedRows(MemoryFileSystem& fs, const std::string& table, const std::string& index) {
  engine::TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName(table.substr(kDir.size()));
  t.SetIndexName(index);
  t.Open();
  std::vector<std::string> rows;
  for (int row = 0; row < t.RecordCount(); ++row) {
    std::string line;
    for (int field = 0; field < t.FieldCount(); ++field) line += t.CellText(row, field) + "\t";
    rows.push_back(line);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Every secondary index leads to the same records as the primary order.
void ExpectIndexesAgree(MemoryFileSystem& fs, const std::string& table) {
  const std::vector<std::string> primary = SortedRows(fs, table, "");
  engine::TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName(table.substr(kDir.size()));
  t.Open();
  std::vector<std::string> names;
  for (int i = 0; i < t.IndexDefs().Count(); ++i)
    if (!t.IndexDefs()[i].Name.empty()) names.push_back(t.IndexDefs()[i].Name);
  t.Close();
  for (const std::string& name : names) EXPECT_EQ(SortedRows(fs, table, name), primary) << "index " << name;
}

// The command that comes next, on the fresh view; returns the table's dump as it found it.
struct Next {
  const char* what;
  std::function<std::string(MemoryFileSystem&, const std::string&)> run;
};

std::string OpenAndCount(MemoryFileSystem& fs, const std::string& table) {
  engine::TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName(table.substr(kDir.size()));
  t.Open();
  const int count = t.RecordCount();
  t.Close();
  const std::string dump = TableDumpText(table, fs);
  EXPECT_EQ(static_cast<size_t>(count) + 2, static_cast<size_t>(std::count(dump.begin(), dump.end(), '\n')));
  return dump;
}

const Next kNextCommands[] = {
    {"Öffnen", OpenAndCount},
    {"Ausgeben", [](MemoryFileSystem& fs, const std::string& table) { return TableDumpText(table, fs); }},
    {"Beschreiben",
     [](MemoryFileSystem& fs, const std::string& table) {
       std::ostringstream out;
       engine::DescribeTable(fs, table, out);
       return TableDumpText(table, fs);
     }},
    {"Kopieren",
     [](MemoryFileSystem& fs, const std::string& table) {
       engine::CopyTableFiles(fs, kDir, table.substr(kDir.size()), kDir, "ANDERE.DB", false, {});
       const std::string copied = TableDumpText(kDir + "ANDERE.DB", fs);
       EXPECT_EQ(copied, TableDumpText(table, fs)) << "copy differs from its source";
       return copied;
     }},
    {"Umstrukturieren",
     [](MemoryFileSystem& fs, const std::string& table) {
       engine::RestructureTableFiles(fs, kDir, table.substr(kDir.size()), engine::TableFormat{0, 2048});
       return TableDumpText(table, fs);
     }},
};

// The family files of the table (temporary ones included), by name, with their bytes.
Snapshot FamilyOf(const MemoryFileSystem& fs, const std::string& table) {
  const std::string base = table.substr(0, table.rfind('.'));
  Snapshot family;
  for (const auto& [path, bytes] : fs.Snapshot())
    if (path.compare(0, base.size() + 1, base + ".") == 0) family.emplace(path, bytes);
  return family;
}

// Same files of the same sizes (headers carry the time of writing, so bytes may differ).
bool SameShape(const Snapshot& a, const Snapshot& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [path, bytes] : a) {
    const auto it = b.find(path);
    if (it == b.end() || it->second.size() != bytes.size()) return false;
  }
  return true;
}

// The family with the time of the last write (in the headers of the .DB and the .X/.XG files)
// blanked: a post run twice writes the same bytes but for that time.
Snapshot WithoutWriteTimes(Snapshot family) {
  for (auto& [path, bytes] : family) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    const bool recordFile = ext == "DB" || ext[0] == 'X';
    if (recordFile && bytes.size() >= engine::hdr::kFileUpdateTime + 4)
      bytes.replace(engine::hdr::kFileUpdateTime, 4, 4, '\0');
  }
  return family;
}

void KillAtEveryChange(const Snapshot& original, const Killed& op) {
  SCOPED_TRACE(op.what);
  MemoryFileSystem memory;
  memory.Restore(original);
  const Snapshot oldFamily = FamilyOf(memory, op.table);
  // A table that was not there before (a copy's new target) is "old" when the next command
  // finds no table.
  const bool existed = memory.Exists(op.table);
  const std::string oldDump = existed ? TableDumpText(op.table, memory) : "";
  const std::vector<std::string> oldNotes = existed ? NotesOn(memory, op.table) : std::vector<std::string>();
  FaultFileSystem counter(memory);
  op.run(counter);
  const int changes = counter.Count(testsupport::FaultKind::Mutation);
  const std::string newDump = TableDumpText(op.table, memory);
  const Snapshot newFamily = FamilyOf(memory, op.table);
  const std::vector<std::string> newNotes = NotesOn(memory, op.table);
  ASSERT_GT(changes, 3);
  if (!op.swapsFamily) {
    ASSERT_NE(newDump, oldDump);
  }
  if (op.check) op.check(oldFamily, newFamily);

  for (int k = 0; k < changes; ++k) {
    memory.Restore(original);
    {
      FaultFileSystem dying(memory);
      dying.StopDeadAfter(k);
      // A failure after the new family is in place need not be raised; either way the process
      // is dead now.
      try {
        op.run(dying);
      } catch (const engine::EDBEngineError&) {
      }
      ASSERT_TRUE(dying.Dead()) << "k = " << k;
    }
    const Snapshot killed = memory.Snapshot();
    // Before anything else touches it, the family on disk is the old one, the new one, or an
    // interrupted commit that the next command must settle.
    for (const Next& next : kNextCommands) {
      SCOPED_TRACE(std::string(next.what) + " nach Abbruch bei Änderung " + std::to_string(k));
      memory.Restore(killed);
      std::string dump;
      try {
        dump = next.run(memory, op.table);
      } catch (const engine::EDBEngineError& e) {
        if (existed || e.ErrorCode() != engine::kErrFileNotFound) ADD_FAILURE() << e.what();
      }
      EXPECT_TRUE(dump == oldDump || dump == newDump) << "neither old nor new:\n" << dump;
      EXPECT_EQ(Leftovers(memory), std::vector<std::string>());
      if (!memory.Exists(op.table)) continue;
      const std::vector<std::string> notes = NotesOn(memory, op.table);
      EXPECT_TRUE(notes == oldNotes || (dump == newDump && notes == newNotes)) << "notes: " << notes.size();
      ExpectIndexesAgree(memory, op.table);
      if (std::string(next.what) != "Umstrukturieren") {
        // A post's files come back byte for byte; a new family's carry the time of writing.
        const Snapshot familyAfter = FamilyOf(memory, op.table);
        const bool asNew = op.swapsFamily ? SameShape(familyAfter, newFamily)
                                          : WithoutWriteTimes(familyAfter) == WithoutWriteTimes(newFamily);
        EXPECT_TRUE(familyAfter == oldFamily || (dump == newDump && asNew)) << "family mixed";

      }
    }
  }
}

class KillRecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, fixtures::KeyedWithBlobs(), kDir);
    original_ = fs.Snapshot();
    name_ = fixtures::KeyedWithBlobs().filename().string();
  }
  Snapshot original_;
  std::string name_;
};

TEST_F(KillRecoveryTest, RestructureKilledAtEveryChange) {
  KillAtEveryChange(original_, {"Umstrukturieren auf 4096-Byte-Blöcke", kDir + name_, [&](engine::FileSystem& fs) {
                                  engine::RestructureTableFiles(fs, kDir, name_, engine::TableFormat{0, 4096});
                                }});
}

TEST_F(KillRecoveryTest, CopyOverATableKilledAtEveryChange) {
  MemoryFileSystem fs;
  fs.Restore(original_);
  engine::CopyTableFiles(fs, kDir, name_, kDir, "ZIEL.DB", true, {});
  KillAtEveryChange(fs.Snapshot(), {"Kopieren über eine vorhandene Tabelle", kDir + "ZIEL.DB",
                                    [&](engine::FileSystem& fs) {
                                      engine::CopyTableFiles(fs, kDir, name_, kDir, "ZIEL.DB", false, {});
                                    }});
}

TEST_F(KillRecoveryTest, CopyToANewTargetKilledAtEveryChange) {
  KillAtEveryChange(original_, {"Kopieren in eine neue Tabelle", kDir + "NEU.DB", [&](engine::FileSystem& fs) {
                                  engine::CopyTableFiles(fs, kDir, name_, kDir, "NEU.DB", false, {});
                                }});
}

TEST_F(KillRecoveryTest, PostKilledAtEveryChange) {
  KillAtEveryChange(original_, {"Anfügen eines Datensatzes mit Memo", kDir + name_, [&](engine::FileSystem& fs) {
                                  engine::TTable t;
                                  t.SetFileSystem(&fs);
                                  t.SetDatabaseName(kDir);
                                  t.SetTableName(name_);
                                  t.Open();
                                  t.Append();
                                  t.FieldByName("LastName").SetAsString("Abbruch GmbH");
                                  t.FieldByName("Comments").SetAsString(std::string(400, 'm'));
                                  t.Post();
                                },
                                false});
}

// The table open on `fs`, for a change that the test kills.
std::unique_ptr<engine::TTable> OpenOn(engine::FileSystem& fs, const std::string& name) {
  auto t = std::make_unique<engine::TTable>();
  t->SetFileSystem(&fs);
  t->SetDatabaseName(kDir);
  t->SetTableName(name);
  t->Open();
  return t;
}

// Moves to the record whose CustNo is `custNo`.
void GoTo(engine::TTable& t, int custNo) {
  for (t.First(); !t.Eof(); t.Next())
    if (t.FieldByName("CustNo").AsInteger() == custNo) return;
  FAIL() << "no customer " << custNo;
}

// Appends a record (`custNo` < 0) or edits customer `custNo`'s, with `values` by field name, and
// posts it.
void PostValues(engine::FileSystem& fs, const std::string& name, int custNo,
                const std::map<std::string, std::string>& values) {
  auto t = OpenOn(fs, name);
  if (custNo < 0) {
    t->Append();
  } else {
    GoTo(*t, custNo);
    t->Edit();
  }
  for (const auto& [field, value] : values) t->FieldByName(field).SetAsString(value);
  t->Post();
}

const std::string& FileEnding(const Snapshot& family, const std::string& ending) {
  for (const auto& [path, bytes] : family)
    if (path.size() >= ending.size() && path.compare(path.size() - ending.size(), ending.size(), ending) == 0)
      return bytes;
  static const std::string none;
  return none;
}

// The sample table's four data blocks hold five records each, all they can: a record that goes
// before the first one splits the first block, which links a new block into the chain, moves
// records and their secondary index entries to it and changes the primary index's tree.
TEST_F(KillRecoveryTest, PostThatSplitsABlockKilledAtEveryChange) {
  const std::map<std::string, std::string> values = {
      {"CustNo", "0"}, {"LastName", "Abbruch GmbH"}, {"City", "Aachen"}, {"Comments", std::string(400, 'm')}};
  KillAtEveryChange(original_, {"Einfügen mit Blockteilung, Memo und Sekundärindex", kDir + name_,
                                [&](engine::FileSystem& fs) { PostValues(fs, name_, -1, values); }, false,
                                [](const Snapshot& before, const Snapshot& after) {
                                  EXPECT_GT(FileEnding(after, ".DB").size(), FileEnding(before, ".DB").size())
                                      << "no block was split";
                                  EXPECT_NE(FileEnding(after, ".MB"), FileEnding(before, ".MB"));
                                  EXPECT_NE(FileEnding(after, ".X06"), FileEnding(before, ".X06"));
                                }});
}

TEST_F(KillRecoveryTest, EditThatMovesTheKeyKilledAtEveryChange) {
  const std::map<std::string, std::string> values = {
      {"CustNo", "25"}, {"City", "Zwickau"}, {"Comments", std::string(300, 'e')}};
  KillAtEveryChange(original_, {"Ändern des Schlüssels", kDir + name_,
                                [&](engine::FileSystem& fs) { PostValues(fs, name_, 3, values); }, false,
                                [](const Snapshot& before, const Snapshot& after) {
                                  EXPECT_NE(FileEnding(after, ".PX"), FileEnding(before, ".PX"));
                                  EXPECT_NE(FileEnding(after, ".X06"), FileEnding(before, ".X06"));
                                }});
}

TEST_F(KillRecoveryTest, DeleteKilledAtEveryChange) {
  KillAtEveryChange(original_, {"Löschen eines Datensatzes mit Memo", kDir + name_,
                                [&](engine::FileSystem& fs) {
                                  auto t = OpenOn(fs, name_);
                                  GoTo(*t, 1);
                                  t->Delete();
                                },
                                false, [](const Snapshot& before, const Snapshot& after) {
                                  EXPECT_NE(FileEnding(after, ".X06"), FileEnding(before, ".X06"));
                                }});
}

}  // namespace
