#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "component/table.h"
#include "engine/tests/allocation_failure.h"
#include "family/restructure.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fs = std::filesystem;

class TableLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = dir_.Path() + "KUNDEN.DB";
    std::ofstream(table_) << "table bytes";
  }

  testsupport::TempDir dir_;
  std::string table_;
};

const char* ModeName(bool exclusive) { return exclusive ? "exklusiv" : "gemeinsam"; }

// The message of a refusal, or "" when the lock was granted (and is released at once).
std::string Refusal(const std::string& path, bool exclusive) {
  try {
    DefaultFileSystem().Lock(path, exclusive);
    return "";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrLocked);
    return e.what();
  }
}

struct MatrixCase {
  bool firstExclusive;
  bool secondExclusive;
  bool granted;
};
const MatrixCase kMatrix[] = {
    {false, false, true},
    {false, true, false},
    {true, false, false},
    {true, true, false},
};

TEST_F(TableLockTest, SharedAndExclusiveMatrixInsideOneProcess) {
  for (const MatrixCase& c : kMatrix) {
    SCOPED_TRACE(std::string(ModeName(c.firstExclusive)) + " dann " + ModeName(c.secondExclusive));
    const auto first = DefaultFileSystem().Lock(table_, c.firstExclusive);
    const std::string refusal = Refusal(table_, c.secondExclusive);
    if (c.granted) {
      EXPECT_EQ(refusal, "");
    } else {
      EXPECT_NE(refusal.find("Die Tabelle \xE2\x80\x9E" + table_ + "\xE2\x80\x9C"), std::string::npos) << refusal;
    }
  }
}

TEST_F(TableLockTest, ReleasedWhenTheLastHolderGoes) {
  auto a = DefaultFileSystem().Lock(table_, false);
  auto b = DefaultFileSystem().Lock(table_, false);
  a.reset();
  EXPECT_NE(Refusal(table_, true), "") << "one shared holder is left";
  b.reset();
  EXPECT_EQ(Refusal(table_, true), "");
  auto x = DefaultFileSystem().Lock(table_, true);
  x.reset();
  EXPECT_EQ(Refusal(table_, false), "");
}

TEST_F(TableLockTest, OtherSpellingsOfThePathAreTheSameTable) {
  fs::create_symlink(table_, dir_.Path() + "verweis.DB");
  fs::create_directory(dir_.Path() + "unter");
  const auto held = DefaultFileSystem().Lock(table_, true);
  for (const std::string& other : {dir_.Path() + "./KUNDEN.DB", dir_.Path() + "unter/../KUNDEN.DB", dir_.Path() + "verweis.DB"})
    EXPECT_NE(Refusal(other, false), "") << other;
}

TEST_F(TableLockTest, DistinctTablesDoNotInterfere) {
  std::ofstream(dir_.Path() + "ARTIKEL.DB") << "x";
  const auto held = DefaultFileSystem().Lock(table_, true);
  EXPECT_EQ(Refusal(dir_.Path() + "ARTIKEL.DB", true), "");
}

TEST_F(TableLockTest, AFifoNamedLikeATableDoesNotHang) {
  const std::string fifo = dir_.Path() + "ROHR.DB";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Refusal(fifo, true), "");
}

TEST_F(TableLockTest, TableNotYetOnDiskIsGuardedInsideTheProcess) {
  const std::string fresh = dir_.Path() + "NEU.DB";
  const auto held = DefaultFileSystem().Lock(fresh, true);
  EXPECT_NE(Refusal(fresh, false), "");
  EXPECT_FALSE(fs::exists(fresh)) << "locking must not create the table file";
}

// Another process of ours. It is forked before this process takes any lock, so it inherits
// neither the registry's entries nor the locked descriptors. On Attempt it runs `open` with the
// requested mode and keeps what that returns (the lock or open table; null = refused) until
// Finish.
using OpenAttempt = std::function<std::shared_ptr<void>(bool exclusive)>;

class ChildProcess {
 public:
  explicit ChildProcess(const OpenAttempt& open) {
    int command[2], answer[2];
    if (::pipe(command) != 0 || ::pipe(answer) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(command[1]);
      ::close(answer[0]);
      char mode = 0;
      if (::read(command[0], &mode, 1) != 1) ::_exit(0);
      const std::shared_ptr<void> held = open(mode == 'x');
      const char reply = held ? 'y' : 'n';
      if (::write(answer[1], &reply, 1) != 1) ::_exit(2);
      while (::read(command[0], &mode, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(command[0]);
    ::close(answer[1]);
    commandFd_ = command[1];
    answerFd_ = answer[0];
  }
  ~ChildProcess() { Finish(); }
  // Whether the child got the table.
  bool Attempt(bool exclusive) {
    const char mode = exclusive ? 'x' : 's';
    char reply = 0;
    return ::write(commandFd_, &mode, 1) == 1 && ::read(answerFd_, &reply, 1) == 1 && reply == 'y';
  }
  // Ends the child: by letting go normally, or by killing it (the system must drop its locks).
  void Finish(bool kill = false) {
    if (pid_ <= 0) return;
    if (kill) ::kill(pid_, SIGKILL);
    ::close(commandFd_);
    ::close(answerFd_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  int commandFd_ = -1;
  int answerFd_ = -1;
};

OpenAttempt LockAttempt(const std::string& path) {
  return [path](bool exclusive) -> std::shared_ptr<void> {
    try {
      return std::shared_ptr<TableLock>(DefaultFileSystem().Lock(path, exclusive));
    } catch (const EDBEngineError&) {
      return nullptr;
    }
  };
}

TEST_F(TableLockTest, SharedAndExclusiveMatrixAcrossProcesses) {
  for (const MatrixCase& c : kMatrix) {
    SCOPED_TRACE(std::string("anderer Prozess ") + ModeName(c.firstExclusive) + ", hier " + ModeName(c.secondExclusive));
    ChildProcess child(LockAttempt(table_));
    ASSERT_TRUE(child.Attempt(c.firstExclusive));
    const std::string refusal = Refusal(table_, c.secondExclusive);
    if (c.granted) {
      EXPECT_EQ(refusal, "");
    } else {
      EXPECT_NE(refusal.find("von einem anderen Benutzer"), std::string::npos) << refusal;
      EXPECT_NE(refusal.find(table_), std::string::npos) << refusal;
    }
  }
}

TEST_F(TableLockTest, OtherProcessIsRefusedWhileThisOneHolds) {
  for (const MatrixCase& c : kMatrix) {
    SCOPED_TRACE(std::string("hier ") + ModeName(c.firstExclusive) + ", anderer Prozess " + ModeName(c.secondExclusive));
    ChildProcess child(LockAttempt(table_));
    const auto held = DefaultFileSystem().Lock(table_, c.firstExclusive);
    EXPECT_EQ(child.Attempt(c.secondExclusive), c.granted);
  }
}

TEST_F(TableLockTest, LockOfAKilledProcessIsGone) {
  ChildProcess child(LockAttempt(table_));
  ASSERT_TRUE(child.Attempt(true));
  ASSERT_NE(Refusal(table_, false), "");
  child.Finish(/*kill=*/true);
  EXPECT_EQ(Refusal(table_, true), "");
}

// Components: tables opened through TTable, on a copy of a sample table.
class ComponentLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    path_ = testsupport::CopyTable(testsupport::fixtures::KeyedWithBlobs(), dir_.Path());
  }
  std::unique_ptr<TTable> Component(bool exclusive) const {
    auto t = std::make_unique<TTable>();
    t->SetDatabaseName(dir_.Path());
    t->SetTableName("CUSTOMER.DB");
    t->SetExclusive(exclusive);
    return t;
  }
  // The refusal's message when a component cannot open, "" when it opens.
  std::string OpenRefusal(TTable& t) const {
    try {
      t.Open();
      return "";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), kErrLocked);
      EXPECT_FALSE(t.Active());
      return e.what();
    }
  }
  OpenAttempt ComponentAttempt() const {
    const std::string dir = dir_.Path();
    return [dir](bool exclusive) -> std::shared_ptr<void> {
      auto t = std::make_shared<TTable>();
      t->SetDatabaseName(dir);
      t->SetTableName("CUSTOMER.DB");
      t->SetExclusive(exclusive);
      try {
        t->Open();
        return t;
      } catch (const EDBEngineError&) {
        return nullptr;
      }
    };
  }

  testsupport::TempDir dir_;
  std::string path_;
};

TEST_F(ComponentLockTest, TwoComponentsFollowTheMatrix) {
  for (const MatrixCase& c : kMatrix) {
    SCOPED_TRACE(std::string(ModeName(c.firstExclusive)) + " dann " + ModeName(c.secondExclusive));
    auto first = Component(c.firstExclusive);
    first->Open();
    auto second = Component(c.secondExclusive);
    const std::string refusal = OpenRefusal(*second);
    if (c.granted) {
      EXPECT_EQ(refusal, "");
      EXPECT_EQ(second->RecordCount(), first->RecordCount());
    } else {
      EXPECT_NE(refusal.find("CUSTOMER.DB"), std::string::npos) << refusal;
      EXPECT_TRUE(first->Active()) << "the holder keeps its table";
    }
  }
}

TEST_F(ComponentLockTest, CloseAndDestructionRelease) {
  auto holder = Component(true);
  holder->Open();
  auto other = Component(true);
  EXPECT_NE(OpenRefusal(*other), "");
  holder->Close();
  EXPECT_EQ(OpenRefusal(*other), "");
  EXPECT_NE(OpenRefusal(*Component(false)), "");
  other.reset();
  EXPECT_EQ(OpenRefusal(*Component(true)), "");
}

TEST_F(ComponentLockTest, RestructureAndCopyRespectOpenComponents) {
  struct Case {
    const char* what;
    bool holderExclusive;
    bool copyFromHeld;  // copy with the held table as source (else: restructure it)
    bool refused;
  };
  const Case cases[] = {
      {"Umstrukturieren, gemeinsam geöffnet", false, false, true},
      {"Umstrukturieren, exklusiv geöffnet", true, false, true},
      {"Kopieren aus gemeinsam geöffneter Tabelle", false, true, false},
      {"Kopieren aus exklusiv geöffneter Tabelle", true, true, true},
  };
  const std::vector<uint8_t> before = testsupport::ReadBytes(path_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto holder = Component(c.holderExclusive);
    holder->Open();
    try {
      if (c.copyFromHeld) {
        CopyTableFiles(DefaultFileSystem(), dir_.Path(), "CUSTOMER.DB", dir_.Path(), "KOPIE.DB", false, {});
      } else {
        RestructureTableFiles(DefaultFileSystem(), dir_.Path(), "CUSTOMER.DB", TableFormat{0, 4096});
      }
      EXPECT_FALSE(c.refused);
    } catch (const EDBEngineError& e) {
      EXPECT_TRUE(c.refused) << e.what();
      EXPECT_EQ(e.ErrorCode(), kErrLocked) << e.what();
    }
    EXPECT_EQ(testsupport::ReadBytes(path_), before);
  }
  // A copy must not replace a table that a component has open.
  auto target = std::make_unique<TTable>();
  target->SetDatabaseName(dir_.Path());
  target->SetTableName("KOPIE.DB");
  target->Open();
  const int copied = target->RecordCount();
  ASSERT_GT(copied, 0);
  try {
    CopyTableFiles(DefaultFileSystem(), dir_.Path(), "CUSTOMER.DB", dir_.Path(), "KOPIE.DB", true, {});
    ADD_FAILURE() << "copy replaced an open table";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrLocked) << e.what();
  }
  target->Close();
  target->Open();
  EXPECT_EQ(target->RecordCount(), copied) << "the refused empty copy must leave the records";
}

TEST_F(ComponentLockTest, AComponentOfAnotherProcessIsRespected) {
  for (const MatrixCase& c : kMatrix) {
    SCOPED_TRACE(std::string("anderer Prozess ") + ModeName(c.firstExclusive) + ", hier " + ModeName(c.secondExclusive));
    ChildProcess child(ComponentAttempt());
    ASSERT_TRUE(child.Attempt(c.firstExclusive));
    auto here = Component(c.secondExclusive);
    const std::string refusal = OpenRefusal(*here);
    EXPECT_EQ(refusal.empty(), c.granted) << refusal;
    if (!c.granted) {
      EXPECT_NE(refusal.find("von einem anderen Benutzer"), std::string::npos) << refusal;
    }
  }
}

// Tables on another file system are locked through it: the in-memory one keeps the rules inside
// the process for its own files, apart from the disk and from other file systems.
class MemoryLockTest : public ::testing::Test {
 protected:
  std::unique_ptr<TTable> Component(testsupport::MemoryFileSystem& fs, bool exclusive) {
    auto t = std::make_unique<TTable>();
    t->SetFileSystem(&fs);
    t->SetDatabaseName("/mem/");
    t->SetTableName("KUNDEN.DB");
    t->SetExclusive(exclusive);
    return t;
  }
  void SetUp() override {
    for (testsupport::MemoryFileSystem* fs : {&memory_, &other_}) {
      auto t = Component(*fs, false);
      t->FieldDefs().Add({"Nr", ftInteger, 0, false});
      t->IndexDefs().Add({"", "Nr", "", ixPrimary});
      t->CreateTable();
    }
  }
  // The refusal's message, "" when the lock is granted (and released at once).
  static std::string Refusal(FileSystem& fs, const std::string& path, bool exclusive) {
    try {
      fs.Lock(path, exclusive);
      return "";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), kErrLocked);
      return e.what();
    }
  }

  testsupport::MemoryFileSystem memory_;
  testsupport::MemoryFileSystem other_;
};

TEST_F(MemoryLockTest, SharedAndExclusiveMatrixForEverySpellingOfThePath) {
  for (const MatrixCase& c : kMatrix) {
    SCOPED_TRACE(std::string(ModeName(c.firstExclusive)) + " dann " + ModeName(c.secondExclusive));
    const auto first = memory_.Lock("/mem/KUNDEN.DB", c.firstExclusive);
    for (const char* other : {"/mem/KUNDEN.DB", "/mem/./KUNDEN.DB", "/mem/unter/../KUNDEN.DB"})
      EXPECT_EQ(Refusal(memory_, other, c.secondExclusive).empty(), c.granted) << other;
    EXPECT_EQ(Refusal(other_, "/mem/KUNDEN.DB", true), "") << "another file system's table of that name";
    EXPECT_EQ(Refusal(DefaultFileSystem(), "/mem/KUNDEN.DB", true), "") << "a path on disk";
  }
}

TEST_F(MemoryLockTest, ComponentsCopyAndRestructureRespectEachOther) {
  auto holder = Component(memory_, true);
  holder->Open();
  EXPECT_NE(Refusal(memory_, "/mem/KUNDEN.DB", false), "");
  try {
    RestructureTableFiles(memory_, "/mem/", "KUNDEN.DB", TableFormat{0, 4096});
    ADD_FAILURE() << "restructured a table held open";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrLocked) << e.what();
  }
  auto elsewhere = Component(other_, true);
  EXPECT_NO_THROW(elsewhere->Open());
  holder->Close();
  try {
    CopyTableFiles(memory_, "/mem/", "KUNDEN.DB", "/mem//", "kunden.db", false, {});
    ADD_FAILURE() << "copied a table onto itself";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrInvalidParam) << e.what();
  }
}

TEST_F(MemoryLockTest, ARefusedAllocationWhileLockingLeavesTheTableFree) {
  for (long n = 1;; ++n) {
    SCOPED_TRACE("Allokation " + std::to_string(n));
    engine_test::FailAllocation(n);
    try {
      memory_.Lock("/mem/KUNDEN.DB", true);
    } catch (const std::bad_alloc&) {
    }
    if (!engine_test::AllocationFailed()) break;
    EXPECT_EQ(Refusal(memory_, "/mem/KUNDEN.DB", true), "");
  }
}

}  // namespace
}  // namespace engine
