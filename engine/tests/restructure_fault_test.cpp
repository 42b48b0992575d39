// Restructure and copy under injected faults: every change to the disk that the operation makes
// is failed in turn. The table must then read as before; directly after a failure before the
// commit nothing may differ at all, and once the next writer has recovered the family it is
// either wholly the old one or wholly the new one, with no file left behind.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>

#include "family/family_swap.h"
#include "family/restructure.h"
#include "io/engine_error.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_dump_text.h"

namespace {

namespace fixtures = testsupport::fixtures;
using engine::EDBEngineError;
using testsupport::FaultFileSystem;
using testsupport::FaultKind;
using testsupport::MemoryFileSystem;
using testsupport::TableDumpText;

const std::string kDir = "/mem/";

// Every file of the in-memory file system with its bytes.
using Snapshot = std::map<std::string, std::string>;

// The table file and companions of a sample table, loaded into memory under kDir.
Snapshot LoadFamily(const std::filesystem::path& sample) {
  MemoryFileSystem fs;
  testsupport::LoadTableFromDisk(fs, sample, kDir);
  return fs.Snapshot();
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

struct Operation {
  const char* what;
  std::function<void(engine::FileSystem&)> run;
  std::string table;  // path of the table the operation replaces
};

struct FaultCase {
  std::filesystem::path fixture;
  std::string TableName() const { return fixture.filename().string(); }
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.TableName(); }

class RestructureFaultTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
};

// Runs `op` on a fresh copy of `original` once without faults, then once per change with that
// change failing (and once more per change with every later write failing too, as on a full
// disk), and checks the outcome each time.
void FailEachChangeInTurn(const Snapshot& original, const Operation& op) {
  SCOPED_TRACE(op.what);
  MemoryFileSystem memory;
  memory.Restore(original);
  const bool existed = memory.Exists(op.table);
  const std::string oldDump = existed ? TableDumpText(op.table, memory) : "";

  FaultFileSystem counter(memory);
  op.run(counter);
  const int changes = counter.Count(FaultKind::Mutation);
  const Snapshot changed = memory.Snapshot();
  const std::string newDump = TableDumpText(op.table, memory);
  ASSERT_GT(changes, 3);

  for (const bool sticky : {false, true}) {
    for (int n = 1; n <= changes; ++n) {
      SCOPED_TRACE(std::string(sticky ? "ab Schreibvorgang " : "Änderung ") + std::to_string(n));
      memory.Restore(original);
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
      const std::string dumpNow = memory.Exists(op.table) ? TableDumpText(op.table, memory) : "";
      EXPECT_TRUE(dumpNow == oldDump || dumpNow == newDump) << "table damaged";
      Snapshot after = memory.Snapshot();
      if (after != original && !IsNewFamily(after, changed, original)) {
        // Only a failure inside the swap may leave files behind (never a new file under its
        // temporary name); the next writer's recovery must then finish or undo the swap.
        for (const auto& entry : after)
          EXPECT_EQ(entry.first.find(engine::kNewSuffix), std::string::npos) << "left behind: " << entry.first;
        engine::RecoverTableFamily(memory, kDir, op.table.substr(kDir.size()));
        after = memory.Snapshot();
      }
      const bool isNew = IsNewFamily(after, changed, original) && TableDumpText(op.table, memory) == newDump;
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
  const std::string table = kDir + c.TableName();
  FailEachChangeInTurn(original, {"Umstrukturieren auf 4096-Byte-Blöcke", [&](engine::FileSystem& fs) {
                                    engine::RestructureTableFiles(fs, kDir, c.TableName(), engine::TableFormat{0, 4096});
                                  }, table});
}

TEST_P(RestructureFaultTest, EveryFailedChangeOfACopyLeavesTheTargetWhole) {
  const FaultCase& c = GetParam();
  Snapshot original = LoadFamily(c.fixture);
  // The target exists already with other content (an empty copy), so a failure must keep it.
  {
    MemoryFileSystem memory;
    memory.Restore(original);
    engine::CopyTableFiles(memory, kDir, c.TableName(), kDir, "ZIEL.DB", true, {});
    original = memory.Snapshot();
  }
  FailEachChangeInTurn(original, {"Kopieren über eine vorhandene Tabelle", [&](engine::FileSystem& fs) {
                                    engine::CopyTableFiles(fs, kDir, c.TableName(), kDir, "ZIEL.DB", false, {});
                                  }, kDir + "ZIEL.DB"});
}

INSTANTIATE_TEST_SUITE_P(
    SampleTables, RestructureFaultTest,
    ::testing::Values(FaultCase{fixtures::KeyedWithBlobs()}, FaultCase{fixtures::KeyedWithGraphic()},
                      FaultCase{fixtures::Unkeyed()}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      std::string name = info.param.TableName();
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
