// A process killed in the middle of a restructure, a copy or a post: the file system stops dead
// after the k-th change (no clean-up code runs), and then the next command touches the table on
// a fresh view of the disk. Whatever command that is (open, dump, info, copy, restructure), it
// must find the table wholly old or wholly new, and no temporary file of the interrupted commit
// may be left afterwards. Every k from the first change to the last is tried.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "component/table.h"
#include "direct/table_files.h"
#include "family/restructure.h"
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

// Paths of temporary files of a commit (".~kbnew", ".~kbold", ".~kblist" and their kind).
std::vector<std::string> Leftovers(const MemoryFileSystem& fs) {
  std::vector<std::string> found;
  for (const std::string& path : fs.Paths())
    if (path.find(".~kb") != std::string::npos) found.push_back(path);
  return found;
}

// What the test kills: an operation on the table at `table`. One that writes a new family and
// swaps it in leaves the old family's files or files of the new one's sizes; a post changes the
// files in place (a .MB may keep the space of a blob whose record never came, a block may be
// linked that the header does not count yet).
struct Killed {
  const char* what;
  std::string table;
  std::function<void(engine::FileSystem&)> run;
  bool swapsFamily = true;
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
  ASSERT_GT(changes, 3);

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
      // A post writes in place: killed after linking a new block but before writing the header,
      // the chain runs on past the header's last block. Readers stop where the header says (the
      // records read as the old ones) and info notes the disagreement, so the notes are
      // compared for the operations that swap the family only.
      if (op.swapsFamily && memory.Exists(op.table)) EXPECT_EQ(NotesOn(memory, op.table), oldNotes);
      if (op.swapsFamily && std::string(next.what) != "Umstrukturieren") {
        const Snapshot familyAfter = FamilyOf(memory, op.table);
        EXPECT_TRUE(familyAfter == oldFamily || SameShape(familyAfter, newFamily)) << "family mixed";
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

}  // namespace
