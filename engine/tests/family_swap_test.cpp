// A commit of a table family tells its caller of every directory sync that failed, and whatever
// part of the changes since the last durable sync the disk then keeps, recovery makes the family
// the whole old or the whole new one.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "family/family_swap.h"
#include "family/temporary_names.h"
#include "io/engine_error.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/memory_file_system.h"

namespace engine_test {

using testsupport::FaultFileSystem;
using testsupport::FaultKind;
using testsupport::MemoryFileSystem;
namespace {

const std::string kDir = "/mem/";
using Files = std::map<std::string, std::string>;  // name in kDir -> content

const Files kOld = {{"T.DB", "alt DB"}, {"T.PX", "alt PX"}, {"T.MB", "alt MB"},
                    {"T.X02", "alt X02"}, {"T.Y02", "alt Y02"}};
const Files kNew = {{"T.DB", "neu DB"}, {"T.PX", "neu PX"}};  // without the blobs and the index

// Passes everything on to a memory file system and remembers the files removed since the last
// durable directory sync, with their content: after a crash the disk may still have them.
class RemovalLog : public engine::FileSystem {
 public:
  explicit RemovalLog(MemoryFileSystem& base) : base_(base) {}
  struct Removal {
    std::string path;
    std::string content;
  };
  const std::vector<Removal>& Unsynced() const { return unsynced_; }

  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    return base_.Open(path, mode);
  }
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  void Remove(const std::string& path) override {
    if (base_.Exists(path)) unsynced_.push_back({path, base_.Contents(path)});
    base_.Remove(path);
  }
  void Rename(const std::string& from, const std::string& to) override { base_.Rename(from, to); }
  std::vector<std::string> List(const std::string& dir) override { return base_.List(dir); }
  void SyncDir(const std::string& dir) override {
    base_.SyncDir(dir);
    unsynced_.clear();
  }
  std::unique_ptr<engine::TableLock> Lock(const std::string& path, bool exclusive) override {
    return base_.Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return base_.CanonicalPath(path); }

 private:
  MemoryFileSystem& base_;
  std::vector<Removal> unsynced_;
};

std::vector<engine::WrittenFile> PutOldAndNew(MemoryFileSystem& fs) {
  std::vector<engine::WrittenFile> written;
  for (const auto& [name, content] : kOld) fs.Put(kDir + name, content);
  for (const auto& [name, content] : kNew) {
    fs.Put(kDir + name + engine::kNewSuffix, content);
    written.push_back({kDir + name + engine::kNewSuffix, name});
  }
  return written;
}

void Commit(engine::FileSystem& fs, const std::vector<engine::WrittenFile>& written) {
  engine::CommitFamily(fs, kDir, engine::ExistingFamily(fs, kDir, "T.DB", true), written);
}

Files FilesOf(const MemoryFileSystem& fs) {
  Files files;
  for (const std::string& path : fs.Paths()) files[path.substr(kDir.size())] = fs.Contents(path);
  return files;
}

TEST(FamilySwap, AFailedSyncIsReportedAndRecoveryNeverMixesTheFamilies) {
  int syncs = 0;
  {
    MemoryFileSystem memory;
    const auto written = PutOldAndNew(memory);
    FaultFileSystem counter(memory);
    Commit(counter, written);
    ASSERT_EQ(FilesOf(memory), kNew);
    syncs = counter.Count(FaultKind::Sync);
  }
  for (const bool sticky : {false, true}) {
    for (int n = 1; n <= syncs; ++n) {
      SCOPED_TRACE(std::string(sticky ? "ab Sync " : "Sync ") + std::to_string(n));
      MemoryFileSystem memory;
      const auto written = PutOldAndNew(memory);
      RemovalLog log(memory);
      FaultFileSystem faulty(log);
      faulty.FailNth(FaultKind::Sync, n, sticky);
      EXPECT_THROW(Commit(faulty, written), engine::EDBEngineError);
      // A crash now: each removal since the last durable sync may or may not be on the disk.
      const auto& unsynced = log.Unsynced();
      ASSERT_LT(unsynced.size(), 16u);
      for (unsigned kept = 0; kept < (1u << unsynced.size()); ++kept) {
        MemoryFileSystem disk;
        for (const auto& [name, content] : FilesOf(memory)) disk.Put(kDir + name, content);
        std::string back;
        for (size_t i = 0; i < unsynced.size(); ++i) {
          if (!(kept & (1u << i)) || disk.Exists(unsynced[i].path)) continue;
          disk.Put(unsynced[i].path, unsynced[i].content);
          back += " " + unsynced[i].path;
        }
        engine::RecoverTableFamily(disk, kDir, "T.DB");
        const Files after = FilesOf(disk);
        EXPECT_TRUE(after == kOld || after == kNew) << "zurückgekehrt:" << back;
      }
    }
  }
}

TEST(TemporaryNames, EachWriterHasItsOwnAndRecoveryKnowsThemAll) {
  engine::TemporaryName t;
  ASSERT_TRUE(engine::ParseTemporaryName("Kunden.PX.~kbnew-4711-3", &t));
  EXPECT_EQ(t.plain, "Kunden.PX");
  EXPECT_EQ(t.kind, engine::kNewSuffix);
  EXPECT_EQ(t.tag, "-4711-3");
  ASSERT_TRUE(engine::ParseTemporaryName("T.DB.~kblist", &t));  // as earlier versions wrote them
  EXPECT_EQ(t.tag, "");
  ASSERT_TRUE(engine::ParseTemporaryName("KUNDEN.~kbwork", &t));
  EXPECT_EQ(t.kind, engine::kWorkSuffix);
  for (const char* other : {"T.~kblock", "T.DB.~kbnewer", "T.DB.~kbnew-12", "T.DB.~kbnew-1-x", ".~kbold-1-2", "T.DB",
                            "T.~kbwork-1-2"})
    EXPECT_FALSE(engine::ParseTemporaryName(other, &t)) << other;
  EXPECT_NE(engine::NewFilesSuffix(), engine::NewFilesSuffix());

  // Two writers' leftovers side by side: one never got to its commit, one had put its family in
  // place but not yet cleaned up. Each is settled on its own.
  MemoryFileSystem memory;
  for (const auto& [name, content] : kNew) memory.Put(kDir + name, content);
  memory.Put(kDir + "T.DB.~kbnew-10-1", "halb");
  memory.Put(kDir + "T.PX.~kbnew-10-1", "halb");
  memory.Put(kDir + "T.DB.~kblist-20-4", "T.DB\nT.PX\n");
  memory.Put(kDir + "T.DB.~kbold-20-4", "alt DB");
  memory.Put(kDir + "T.MB.~kbold-20-4", "alt MB");
  EXPECT_EQ(engine::TablesWithCommitLeftovers(memory, kDir), std::vector<std::string>{"T.DB"});
  // Without the work mark an open that finds the .DB looks no further; with it, it finds them.
  // An earlier version's untagged commit list tells of leftovers as well.
  EXPECT_FALSE(engine::HasCommitLeftovers(memory, kDir, "T.DB"));
  memory.Put(kDir + "T.DB.~kblist", "");
  EXPECT_TRUE(engine::HasCommitLeftovers(memory, kDir, "T.DB"));
  memory.Remove(kDir + "T.DB.~kblist");
  memory.Put(kDir + "T.~kbwork", "");
  EXPECT_TRUE(engine::HasCommitLeftovers(memory, kDir, "T.DB"));
  engine::RecoverTableFamily(memory, kDir, "T.DB");
  EXPECT_EQ(FilesOf(memory), kNew);
}

}  // namespace
}  // namespace engine_test
