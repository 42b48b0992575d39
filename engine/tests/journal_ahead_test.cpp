// A writer on the operating system's files makes its work mark and journal file on another
// thread ahead of its first change: the changes then go in as before, a writer that changes
// nothing leaves no file behind, and another writer's whole journal still stops the first change.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "family/family_swap.h"
#include "family/post_journal.h"
#include "family/staged_file_system.h"
#include "family/temporary_names.h"
#include "io/engine_error.h"
#include "io/file_system.h"
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
