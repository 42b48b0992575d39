// Two processes on one table: a child process (fork) is stopped at a chosen point of a copy or a
// restructure while it holds the table, and the test process tries to read or write the same
// table meanwhile. The lock must keep the other process out through the whole commit, whatever
// file names change, also for a target that does not exist yet; the refusal is German.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "direct/table_files.h"
#include "family/restructure.h"
#include "io/engine_error.h"
#include "testsupport/child_process.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fixtures = testsupport::fixtures;
using engine::EDBEngineError;
using testsupport::TableDumpText;

// The operating system's file system, holding still at the first rename of a file whose name
// contains `pauseAt` until the test process says go on.
class PausingFileSystem : public testsupport::FaultFileSystem {
 public:
  PausingFileSystem(std::string pauseAt, int toParent, int fromParent)
      : FaultFileSystem(engine::DefaultFileSystem()), pauseAt_(std::move(pauseAt)), toParent_(toParent),
        fromParent_(fromParent) {}
  void Rename(const std::string& from, const std::string& to) override {
    if (!paused_ && from.find(pauseAt_) != std::string::npos) {
      paused_ = true;
      char c = 'p';
      if (::write(toParent_, &c, 1) != 1 || ::read(fromParent_, &c, 1) != 1) _exit(3);
    }
    FaultFileSystem::Rename(from, to);
  }

 private:
  std::string pauseAt_;
  int toParent_;
  int fromParent_;
  bool paused_ = false;
};

// Runs `work` in a child process that pauses at the first rename of a file named with `pauseAt`;
// calls `meanwhile` in this process during the pause, then lets the child finish. Returns the
// child's exit status (0: its work succeeded).
int WithChildPaused(const std::string& pauseAt, const std::function<void(engine::FileSystem&)>& work,
                    const std::function<void()>& meanwhile) {
  int up[2], down[2];
  if (::pipe(up) != 0 || ::pipe(down) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(up[0]);
    ::close(down[1]);
    int status = 0;
    try {
      PausingFileSystem fs(pauseAt, up[1], down[0]);
      work(fs);
    } catch (...) {
      status = 1;
    }
    _exit(status);
  }
  ::close(up[1]);
  ::close(down[0]);
  char c = 0;
  const bool paused = ::read(up[0], &c, 1) == 1;
  EXPECT_TRUE(paused) << "the child never reached the pause";
  if (paused) meanwhile();
  c = 'g';
  (void)!::write(down[1], &c, 1);
  ::close(down[1]);
  ::close(up[0]);
  return testsupport::WaitForExitStatus(child);
}

// Expects `attempt` to be refused because another process holds the table.
void ExpectHeldElsewhere(const std::function<void()>& attempt) {
  try {
    attempt();
    ADD_FAILURE() << "admitted while the other process held the table";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrLocked) << e.what();
    EXPECT_NE(std::string(e.what()).find("anderen Benutzer"), std::string::npos) << e.what();
  }
}

TEST(TwoProcesses, NoOneComesInWhileARestructureSwapsTheFiles) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir dir;
  const std::string table = testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  const std::string name = table.substr(dir.Path().size());
  const std::string before = TableDumpText(table);
  // The pause falls between placing the new .DB and placing the new .MB.
  const int status = WithChildPaused(
      ".MB.~kbnew",
      [&](engine::FileSystem& fs) { engine::RestructureTableFiles(fs, dir.Path(), name, engine::TableFormat{0, 4096}); },
      [&] {
        ExpectHeldElsewhere([&] { TableDumpText(table); });
        ExpectHeldElsewhere(
            [&] { engine::RestructureTableFiles(engine::DefaultFileSystem(), dir.Path(), name, {0, 2048}); });
      });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TableDumpText(table), before);
}

TEST(TwoProcesses, TwoCopiesToOneNewTargetGiveOneWholeResultAndOneRefusal) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir src, dest;
  const std::string first = testsupport::CopyTable(fixtures::KeyedWithBlobs(), src.Path());
  const std::string second = testsupport::CopyTable(fixtures::AllFieldTypes(), src.Path());
  const std::string target = dest.Path() + "ZIEL.DB";
  // The child copies the first table and pauses as its new .DB is put in place.
  const int status = WithChildPaused(
      ".DB.~kbnew",
      [&](engine::FileSystem& fs) {
        engine::CopyTableFiles(fs, src.Path(), first.substr(src.Path().size()), dest.Path(), "ZIEL.DB", false, {});
      },
      [&] {
        ExpectHeldElsewhere([&] {
          engine::CopyTableFiles(engine::DefaultFileSystem(), src.Path(), second.substr(src.Path().size()),
                                 dest.Path(), "ZIEL.DB", false, {});
        });
        ExpectHeldElsewhere([&] { TableDumpText(target); });
      });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TableDumpText(target), TableDumpText(first));
}

// Two processes copy two different tables to one new target at the same moment, again and
// again: each copy is either done whole or refused in German because the other holds the target,
// and what the target holds in the end is one of the two tables, whole, with no temporary file of
// either writer left beside it.
TEST(TwoProcesses, TwoCopiesRacingForOneNewTargetLeaveOneWholeTable) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir src;
  const std::string first = testsupport::CopyTable(fixtures::KeyedWithBlobs(), src.Path());
  const std::string second = testsupport::CopyTable(fixtures::AllFieldTypes(), src.Path());
  const std::string firstDump = TableDumpText(first);
  const std::string secondDump = TableDumpText(second);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("Runde " + std::to_string(round));
    testsupport::TempDir dest;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
      children[c] = ::fork();
      if (children[c] != 0) continue;
      ::close(start[1]);
      char go = 0;
      if (::read(start[0], &go, 1) != 1) _exit(3);
      const std::string& source = c == 0 ? first : second;
      try {
        engine::CopyTableFiles(engine::DefaultFileSystem(), src.Path(), source.substr(src.Path().size()),
                               dest.Path(), "ZIEL.DB", false, {});
        _exit(0);
      } catch (const EDBEngineError& e) {
        const bool refusedInGerman = e.ErrorCode() == engine::kErrLocked &&
                                     std::string(e.what()).find("anderen Benutzer") != std::string::npos;
        _exit(refusedInGerman ? 2 : 1);
      } catch (...) {
        _exit(1);
      }
    }
    ::close(start[0]);
    const char go[2] = {'g', 'g'};
    (void)!::write(start[1], go, 2);
    ::close(start[1]);
    int done = 0;
    for (pid_t child : children) {
      const int status = testsupport::WaitForExitStatus(child);
      EXPECT_TRUE(status == 0 || status == 2) << "status " << status;
      done += status == 0;
    }
    EXPECT_GE(done, 1);
    const std::string result = TableDumpText(dest.Path() + "ZIEL.DB");
    EXPECT_TRUE(result == firstDump || result == secondDump) << result;
    for (const auto& entry : std::filesystem::directory_iterator(dest.Path()))
      EXPECT_EQ(entry.path().filename().string().find(".~kb"), std::string::npos) << entry.path();
  }
}

}  // namespace
