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

}  // namespace
}  // namespace testsupport
