// A writer on the operating system's files makes its work mark and journal file on another
// thread ahead of its first change: the changes then go in as before, only once the journal's
// name and content are on the disk, a writer that changes nothing leaves no file behind, and
// another writer's whole journal still stops the first change.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "family/family_swap.h"
#include "family/post_journal.h"
#include "family/staged_file_system.h"
#include "family/temporary_names.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/fail.h"
#include "io/forwarding_file_system.h"
#include "testsupport/dir_snapshot.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_dir.h"

namespace engine_test {
namespace {

using testsupport::ReadText;
using testsupport::SnapshotDir;

void Put(const std::string& path, const std::string& text) {
  testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void Write(engine::FileSystem& fs, const std::string& path, uint64_t at, const std::string& bytes) {
  fs.Open(path, engine::OpenMode::ReadWrite)->WriteAt(at, bytes.data(), bytes.size());
}

bool HasTemporaryFile(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().find(".~kb") != std::string::npos) return true;
  return false;
}

struct TwoFiles {
  testsupport::TempDir tmp;
  const std::string& dir = tmp.Path();
  TwoFiles() {
    Put(dir + "T.DB", std::string(3000, 'd'));
    Put(dir + "T.PX", std::string(700, 'p'));
  }
};

TEST(JournalAhead, ChangesGoInBehindAJournalMadeAheadAndNoFileStaysBehindTheWriter) {
  TwoFiles t;
  engine::FileSystem& disk = engine::DefaultFileSystem();
  {
    engine::StagedFileSystem staged(disk, t.dir, "T.DB");
    staged.MakeJournalAhead();
    for (int change = 0; change < 2; ++change) {
      staged.Begin();
      Write(staged, t.dir + "T.DB", 100 * change, "Änderung");
      Write(staged, t.dir + "T.DB", 4000, "hinten");  // over the end: the file grows
      staged.Open(t.dir + "T.PX", engine::OpenMode::ReadWrite)->Truncate(500);
      staged.Apply();
      EXPECT_TRUE(HasTemporaryFile(t.dir));
      EXPECT_FALSE(engine::HasUnsettledChanges(disk, t.dir, "T.DB"));
    }
  }
  EXPECT_FALSE(HasTemporaryFile(t.dir));
  const std::string db = ReadText(t.dir + "T.DB");
  EXPECT_EQ(db.size(), 4006u);
  EXPECT_EQ(db.substr(0, 9), "Änderung");
  EXPECT_EQ(db.substr(100, 9), "Änderung");
  EXPECT_EQ(db.substr(3000, 1000), std::string(1000, '\0'));
  EXPECT_EQ(ReadText(t.dir + "T.PX"), std::string(500, 'p'));
}

// A file that passes the calls of every file to another one, for wrappers that change a few.
class ForwardingFile : public engine::File {
 public:
  explicit ForwardingFile(std::unique_ptr<engine::File> file) : file_(std::move(file)) {}
  const std::string& Path() const override { return file_->Path(); }
  uint64_t Size() const override { return file_->Size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override { return file_->ReadAt(offset, dst, n); }
  void WriteAt(uint64_t offset, const void* src, size_t n) override { file_->WriteAt(offset, src, n); }
  void Truncate(uint64_t size) override { file_->Truncate(size); }
  void Sync() override { file_->Sync(); }

 private:
  std::unique_ptr<engine::File> file_;
};

// Notes, from any thread, every write ("write NAME BYTES") and sync ("sync NAME", "sync folder")
// that reaches the operating system's files.
class SyncOrder : public engine::ForwardingFileSystem {
 public:
  SyncOrder() : ForwardingFileSystem(engine::DefaultFileSystem()) {}
  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    return std::make_unique<Noted>(Base().Open(path, mode), *this);
  }
  void SyncDir(const std::string& dir) override {
    Base().SyncDir(dir);
    Note("sync folder");
  }
  std::vector<std::string> Log() {
    const std::lock_guard<std::mutex> hold(lock_);
    return log_;
  }

 private:
  void Note(const std::string& entry) {
    const std::lock_guard<std::mutex> hold(lock_);
    log_.push_back(entry);
  }
  class Noted : public ForwardingFile {
   public:
    Noted(std::unique_ptr<engine::File> file, SyncOrder& fs) : ForwardingFile(std::move(file)), fs_(fs) {}
    void WriteAt(uint64_t offset, const void* src, size_t n) override {
      ForwardingFile::WriteAt(offset, src, n);
      fs_.Note("write " + Name() + " " + std::to_string(n));
    }
    void Sync() override {
      ForwardingFile::Sync();
      fs_.Note("sync " + Name());
    }

   private:
    std::string Name() const {
      const std::string name = std::filesystem::path(Path()).filename().string();
      return name.find(".~kbjrn") != std::string::npos ? "journal" : name;
    }
    SyncOrder& fs_;
  };
  std::mutex lock_;
  std::vector<std::string> log_;
};

TEST(JournalAhead, TheTableChangesOnlyAfterTheJournalsNameAndContentAreOnTheDisk) {
  TwoFiles t;
  SyncOrder fs;
  std::vector<std::string> log;
  {
    engine::StagedFileSystem staged(fs, t.dir, "T.DB");
    staged.MakeJournalAhead();
    staged.Begin();
    Write(staged, t.dir + "T.DB", 10, "Änderung");
    staged.Apply();
    log = fs.Log();
  }
  const auto at = [&](const std::string& entry) { return std::find(log.begin(), log.end(), entry) - log.begin(); };
  const auto firstChange =
      std::find_if(log.begin(), log.end(), [](const std::string& e) { return e.rfind("write T.DB", 0) == 0; });
  ASSERT_NE(firstChange, log.end());
  const auto change = firstChange - log.begin();
  // The zeros made ahead, the folder's sync, then the journal of the change, synced after it.
  EXPECT_LT(at("write journal 262144"), at("sync folder"));
  EXPECT_LT(at("sync folder"), change);
  const auto journal = std::find_if(log.begin(), firstChange, [](const std::string& e) {
    return e.rfind("write journal", 0) == 0 && e != "write journal 262144";
  });
  ASSERT_NE(journal, firstChange) << "the journal was not written before the table";
  EXPECT_NE(std::find(journal, firstChange, "sync journal"), firstChange)
      << "the table changed before its journal was synced";
  EXPECT_NE(std::find(firstChange, log.end(), "sync T.DB"), log.end());
  EXPECT_EQ(ReadText(t.dir + "T.DB").substr(10, 9), "Änderung");
}

// The first sync of every journal file fails, as when the system reports a failed write of the
// file to one sync alone: the sync of the zeros made ahead.
class FirstJournalSyncFails : public engine::ForwardingFileSystem {
 public:
  FirstJournalSyncFails() : ForwardingFileSystem(engine::DefaultFileSystem()) {}
  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    auto file = Base().Open(path, mode);
    if (path.find(".~kbjrn") == std::string::npos) return file;
    return std::make_unique<Failing>(std::move(file));
  }

 private:
  class Failing : public ForwardingFile {
   public:
    explicit Failing(std::unique_ptr<engine::File> file) : ForwardingFile(std::move(file)) {}
    void Sync() override {
      if (!failed_.exchange(true)) engine::Fail(engine::kErrIo, Path(), "Schreibfehler der Platte.");
      ForwardingFile::Sync();
    }

   private:
    std::atomic<bool> failed_{false};
  };
};

TEST(JournalAhead, AFailedSyncOfTheZerosMadeAheadStopsTheChangeBeforeTheTable) {
  TwoFiles t;
  FirstJournalSyncFails fs;
  {
    engine::StagedFileSystem staged(fs, t.dir, "T.DB");
    staged.MakeJournalAhead();
    staged.Begin();
    Write(staged, t.dir + "T.DB", 10, "Änderung");
    try {
      staged.Apply();
      FAIL() << "the change went in behind a journal whose file failed to reach the disk";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrIo);
    }
  }
  EXPECT_EQ(ReadText(t.dir + "T.DB"), std::string(3000, 'd'));
}

TEST(JournalAhead, AWriterThatChangesNothingLeavesTheFolderAsItWas) {
  TwoFiles t;
  const auto before = SnapshotDir(t.dir);
  {
    engine::StagedFileSystem staged(engine::DefaultFileSystem(), t.dir, "T.DB");
    staged.MakeJournalAhead();
    staged.Begin();
    Write(staged, t.dir + "T.DB", 0, "verworfen");
    staged.Discard();
  }
  EXPECT_EQ(SnapshotDir(t.dir), before);
}

TEST(JournalAhead, AnotherWritersWholeJournalStillStopsTheFirstChange) {
  TwoFiles t;
  Put(t.dir + "T" + engine::kWorkSuffix, "");
  Put(t.dir + "t.db" + engine::kJournalSuffix + "-99-1", engine::EncodeJournal({{"T.DB", false, 3000, {{0, "ALT"}}}}));
  const auto before = SnapshotDir(t.dir);
  {
    engine::StagedFileSystem staged(engine::DefaultFileSystem(), t.dir, "T.DB");
    staged.MakeJournalAhead();
    staged.Begin();
    Write(staged, t.dir + "T.DB", 0, "KOPF");
    try {
      staged.Apply();
      FAIL() << "applied beside another writer's whole journal";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrLocked);
    }
  }
  EXPECT_EQ(SnapshotDir(t.dir), before);
}

}  // namespace
}  // namespace engine_test
