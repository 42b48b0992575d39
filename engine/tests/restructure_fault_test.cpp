// Restructure and copy under injected faults: every change to the disk that the operation makes
// is failed in turn. The table must then read as before; directly after a failure before the
// commit nothing may differ at all, and once the next writer has recovered the family it is
// either wholly the old one or wholly the new one, with no file left behind.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>

#include "io/engine_error.h"
#include "family/family_swap.h"
#include "family/restructure.h"
#include "family/table_dump.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/temp_dir.h"

namespace {

using engine::EDBEngineError;
using testsupport::FaultFileSystem;
using testsupport::FaultKind;
using testsupport::LoadFromDisk;
using testsupport::MemoryFileSystem;

const std::string kDir = "/mem/";

// Every file of the in-memory file system with its bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot Take(const MemoryFileSystem& fs) {
  Snapshot s;
  for (const std::string& path : fs.Paths()) s[path] = fs.Contents(path);
  return s;
}

std::string Dump(engine::FileSystem& fs, const std::string& path) {
  std::ostringstream out;
  engine::DumpTable(fs, path, out);
  return out.str();
}

// The family of a sample table, loaded into memory under kDir.
Snapshot LoadFamily(const std::string& relative) {
  engine::testing::TempDir tmp;
  engine::testing::CopyFamily(relative, tmp.Path());
  MemoryFileSystem fs;
  for (const std::string& name : engine::DefaultFileSystem().List(tmp.Path()))
    LoadFromDisk(fs, tmp.Path() + name, kDir + name);
  return Take(fs);
}

// Whether `after` is the family the operation writes, as in the fault-free run `changed`: the
// same files of the same sizes, none of them an old file put back. (Bytes may differ from that
// run: headers carry the time of writing.)
bool IsNewFamily(const Snapshot& after, const Snapshot& changed, const Snapshot& original) {
  if (after.size() != changed.size()) return false;
  for (const auto& [path, bytes] : after) {
    const auto it = changed.find(path);
    if (it == changed.end() || it->second.size() != bytes.size()) return false;
    const auto old = original.find(path);
    if (old != original.end() && old->second == bytes && it->second != bytes) return false;
  }
  return true;
}

void Restore(MemoryFileSystem& fs, const Snapshot& s) {
  for (const std::string& path : fs.Paths()) fs.Remove(path);
  for (const auto& [path, bytes] : s) fs.Put(path, bytes);
}

struct Operation {
  const char* what;
  std::function<void(engine::FileSystem&)> run;
  std::string table;  // path of the table the operation replaces
};

struct FaultCase {
  const char* fixture;
  const char* tableName;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.tableName; }

class RestructureFaultTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    if (engine::testing::FixturesDir().empty()) GTEST_SKIP() << "Fixture folder missing: " << KERBOLT_FIXTURES_DIR;
  }
};

// Runs `op` on a fresh copy of `original` once without faults, then once per change with that
// change failing (and once more per change with every later write failing too, as on a full
// disk), and checks the outcome each time.
void FailEachChangeInTurn(const Snapshot& original, const Operation& op) {
  SCOPED_TRACE(op.what);
  MemoryFileSystem memory;
  Restore(memory, original);
  const bool existed = memory.Exists(op.table);
  const std::string oldDump = existed ? Dump(memory, op.table) : "";

  FaultFileSystem counter(memory);
  op.run(counter);
  const int changes = counter.Count(FaultKind::Mutation);
  const Snapshot changed = Take(memory);
  const std::string newDump = Dump(memory, op.table);
  ASSERT_GT(changes, 3);

  for (const bool sticky : {false, true}) {
    for (int n = 1; n <= changes; ++n) {
      SCOPED_TRACE(std::string(sticky ? "ab Schreibvorgang " : "Änderung ") + std::to_string(n));
      Restore(memory, original);
      FaultFileSystem faulty(memory);
      faulty.FailNth(sticky ? FaultKind::Write : FaultKind::Mutation, n, sticky);
      bool raised = false;
      try {
        op.run(faulty);
      } catch (const EDBEngineError&) {
        raised = true;
      }
      if (sticky && !faulty.Fired()) break;  // fewer writes than changes: all covered
      ASSERT_TRUE(faulty.Fired());
      // Whatever happened, the table reads as the old or the new one, never as a mix.
      const std::string dumpNow = memory.Exists(op.table) ? Dump(memory, op.table) : "";
      EXPECT_TRUE(dumpNow == oldDump || dumpNow == newDump) << "table damaged";
      Snapshot after = Take(memory);
      if (after != original && !IsNewFamily(after, changed, original)) {
        // Only a failure inside the swap may leave files behind (never a new file under its
        // temporary name); the next writer's recovery must then finish or undo the swap.
        for (const auto& entry : after)
          EXPECT_EQ(entry.first.find(engine::kNewSuffix), std::string::npos) << "left behind: " << entry.first;
        engine::RecoverTableFamily(memory, kDir, op.table.substr(kDir.size()));
        after = Take(memory);
      }
      const bool isNew = IsNewFamily(after, changed, original) && Dump(memory, op.table) == newDump;
      if (raised) {
        EXPECT_TRUE(after == original || isNew) << "family mixed or files left behind";
      } else {
        EXPECT_TRUE(isNew) << "reported success, but the family is not the new one";
      }
    }
  }
}

TEST_P(RestructureFaultTest, EveryFailedChangeLeavesTheTableWhole) {
  const FaultCase& c = GetParam();
  const Snapshot original = LoadFamily(c.fixture);
  const std::string table = kDir + c.tableName;
  FailEachChangeInTurn(original, {"Umstrukturieren auf 4096-Byte-Blöcke", [&](engine::FileSystem& fs) {
                                    engine::RestructureTableFiles(fs, kDir, c.tableName, engine::TableFormat{0, 4096});
                                  }, table});
}

TEST_P(RestructureFaultTest, EveryFailedChangeOfACopyLeavesTheTargetWhole) {
  const FaultCase& c = GetParam();
  Snapshot original = LoadFamily(c.fixture);
  // The target exists already with other content (an empty copy), so a failure must keep it.
  {
    MemoryFileSystem memory;
    Restore(memory, original);
    engine::CopyTableFiles(memory, kDir, c.tableName, kDir, "ZIEL.DB", true, {});
    original = Take(memory);
  }
  FailEachChangeInTurn(original, {"Kopieren über eine vorhandene Tabelle", [&](engine::FileSystem& fs) {
                                    engine::CopyTableFiles(fs, kDir, c.tableName, kDir, "ZIEL.DB", false, {});
                                  }, kDir + "ZIEL.DB"});
}

INSTANTIATE_TEST_SUITE_P(
    SampleTables, RestructureFaultTest,
    ::testing::Values(FaultCase{"leonhad_paradoxdriver/src/test/resources/db/CUSTOMER.DB", "CUSTOMER.DB"},
                      FaultCase{"leonhad_paradoxdriver/src/test/resources/fields/graphic.db", "graphic.db"},
                      FaultCase{"leonhad_paradoxdriver/src/test/resources/db/CONTACTS.DB", "CONTACTS.DB"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      std::string name = info.param.tableName;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
