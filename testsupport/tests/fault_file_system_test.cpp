#include "testsupport/fault_file_system.h"

#include <gtest/gtest.h>

#include "io/engine_error.h"
#include "testsupport/memory_file_system.h"

namespace testsupport {
namespace {

using engine::OpenMode;

// Five changes: create, write, sync, rename, remove.
void FiveChanges(engine::FileSystem& fs) {
  auto file = fs.Open("/mem/T.TMP", OpenMode::CreateTruncate);
  file->WriteAt(0, "neu", 3);
  file->Sync();
  fs.Rename("/mem/T.TMP", "/mem/T.DB");
  fs.Remove("/mem/T.PX");
}

TEST(FaultFileSystem, FailsExactlyTheChosenOperation) {
  struct Case {
    FaultKind kind;
    int n;
    int completedMutations;  // changes done before the failure
  };
  const Case cases[] = {
      {FaultKind::Mutation, 1, 0}, {FaultKind::Mutation, 3, 2}, {FaultKind::Mutation, 5, 4},
      {FaultKind::Write, 1, 1},    {FaultKind::Rename, 1, 3},   {FaultKind::Remove, 1, 4},
  };
  for (const Case& c : cases) {
    MemoryFileSystem memory;
    memory.Put("/mem/T.DB", "alt");
    memory.Put("/mem/T.PX", "px");
    FaultFileSystem fs(memory);
    fs.FailNth(c.kind, c.n);
    try {
      FiveChanges(fs);
      ADD_FAILURE() << "no failure for case n=" << c.n;
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrIo);
    }
    EXPECT_TRUE(fs.Fired());
    EXPECT_EQ(fs.Count(FaultKind::Mutation), c.completedMutations + 1) << "n=" << c.n;
  }
}

TEST(FaultFileSystem, CountsWithoutFailingAndStickyFailsEveryLaterOne) {
  MemoryFileSystem memory;
  FaultFileSystem fs(memory);
  FiveChanges(fs);
  EXPECT_FALSE(fs.Fired());
  EXPECT_EQ(fs.Count(FaultKind::Mutation), 5);
  EXPECT_EQ(fs.Count(FaultKind::Write), 1);
  EXPECT_EQ(fs.Count(FaultKind::Sync), 1);

  fs.FailNth(FaultKind::Write, 2, /*sticky=*/true);
  auto file = fs.Open("/mem/V.DB", OpenMode::CreateTruncate);
  file->WriteAt(0, "a", 1);
  EXPECT_THROW(file->WriteAt(1, "b", 1), engine::EDBEngineError);
  EXPECT_THROW(file->Truncate(0), engine::EDBEngineError);
  EXPECT_NO_THROW(fs.Rename("/mem/V.DB", "/mem/W.DB"));
  EXPECT_EQ(memory.Contents("/mem/W.DB"), "a");
}

// Reads fail only when reads are chosen, and count apart from the changes to the disk.
TEST(FaultFileSystem, FailsReadsFromTheChosenOneOnWithoutCountingThemAsChanges) {
  MemoryFileSystem memory;
  memory.Put("/mem/T.DB", "abc");
  FaultFileSystem fs(memory);
  fs.FailNth(FaultKind::Mutation, 1);
  char buf[3] = {};
  auto file = fs.Open("/mem/T.DB", OpenMode::ReadOnly);
  EXPECT_EQ(file->ReadAt(0, buf, 3), 3u);
  EXPECT_FALSE(fs.Fired());

  fs.FailNth(FaultKind::Read, 2, /*sticky=*/true);
  EXPECT_EQ(file->ReadAt(1, buf, 2), 2u);
  for (int later = 0; later < 2; ++later) {
    try {
      file->ReadAt(0, buf, 1);
      ADD_FAILURE() << "no failure on read " << later + 2;
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrIo);
      EXPECT_NE(std::string(e.what()).find("Lesefehler"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("/mem/T.DB"), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(fs.Fired());
  EXPECT_EQ(fs.Count(FaultKind::Read), 4);
  EXPECT_EQ(fs.Count(FaultKind::Mutation), 0);

  fs.FailNth(FaultKind::Read, 0);
  EXPECT_EQ(file->ReadAt(0, buf, 3), 3u);
}

// After the k-th change nothing gets through any more, not even a read or a clean-up's rename.
TEST(FaultFileSystem, StopsDeadAfterTheChosenChange) {
  for (int k = 0; k <= 5; ++k) {
    SCOPED_TRACE("k = " + std::to_string(k));
    MemoryFileSystem memory;
    memory.Put("/mem/T.PX", "px");
    FaultFileSystem fs(memory);
    fs.StopDeadAfter(k);
    bool raised = false;
    try {
      FiveChanges(fs);
    } catch (const engine::EDBEngineError& e) {
      raised = true;
      EXPECT_EQ(e.ErrorCode(), engine::kErrIo);
    }
    EXPECT_EQ(raised, k < 5);
    EXPECT_EQ(fs.Dead(), k < 5);
    EXPECT_EQ(fs.Count(FaultKind::Mutation), k);
    // What the first k changes did stays; nothing after them happened.
    EXPECT_EQ(memory.Exists("/mem/T.TMP"), k >= 1 && k < 4);
    EXPECT_EQ(memory.Exists("/mem/T.DB"), k >= 4);
    EXPECT_EQ(memory.Exists("/mem/T.PX"), k < 5);
    if (!fs.Dead()) continue;
    EXPECT_THROW(fs.Open("/mem/T.PX", OpenMode::ReadOnly), engine::EDBEngineError);
    EXPECT_THROW(fs.Rename("/mem/T.PX", "/mem/T.XX"), engine::EDBEngineError);
    EXPECT_THROW(fs.Remove("/mem/T.PX"), engine::EDBEngineError);
    EXPECT_TRUE(memory.Exists("/mem/T.PX"));
  }
}

}  // namespace
}  // namespace testsupport
