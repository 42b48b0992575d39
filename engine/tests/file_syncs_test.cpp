// The files of one change are synced together: every sync has ended when SyncFiles returns,
// a failure is raised only then (the first file's in list order), and a process made by fork
// syncs with threads of its own, or on its own thread when it can start none.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_syncs.h"
#include "io/file_system.h"
#include "testsupport/child_process.h"
#include "testsupport/threads_refused.h"

namespace {

// A file whose sync takes a while, is counted, and fails when asked to.
class SlowFile : public engine::File {
 public:
  SlowFile(std::string path, bool fails) : path_(std::move(path)), fails_(fails) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return 0; }
  size_t ReadAt(uint64_t, void*, size_t) const override { return 0; }
  void WriteAt(uint64_t, const void*, size_t) override {}
  void Truncate(uint64_t) override {}
  void Sync() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    synced = true;
    if (fails_) engine::Fail(engine::kErrIo, path_, "Schreiben auf den Datenträger fehlgeschlagen.");
  }
  std::atomic<bool> synced{false};

 private:
  std::string path_;
  bool fails_;
};

std::vector<std::unique_ptr<SlowFile>> Files(const std::vector<bool>& fails) {
  std::vector<std::unique_ptr<SlowFile>> files;
  for (size_t i = 0; i < fails.size(); ++i) files.push_back(std::make_unique<SlowFile>("/f" + std::to_string(i), fails[i]));
  return files;
}

std::vector<engine::File*> Pointers(const std::vector<std::unique_ptr<SlowFile>>& files) {
  std::vector<engine::File*> out;
  for (const auto& f : files) out.push_back(f.get());
  return out;
}

TEST(FileSyncs, TogetherTheyTakeAboutTheTimeOfOneAndAllHaveEndedOnReturn) {
  for (bool together : {false, true}) {
    SCOPED_TRACE(together ? "zusammen" : "nacheinander");
    const auto files = Files({false, false, false, false});
    const auto start = std::chrono::steady_clock::now();
    engine::SyncFiles(Pointers(files), together);
    const auto took = std::chrono::steady_clock::now() - start;
    for (const auto& f : files) EXPECT_TRUE(f->synced);
    if (together)
      EXPECT_LT(took, std::chrono::milliseconds(150));
    else
      EXPECT_GE(took, std::chrono::milliseconds(200));
  }
}

TEST(FileSyncs, TheFirstFailureInListOrderIsRaisedAfterEverySyncEnded) {
  for (bool together : {false, true}) {
    SCOPED_TRACE(together ? "zusammen" : "nacheinander");
    const auto files = Files({false, true, false, true});
    try {
      engine::SyncFiles(Pointers(files), together);
      ADD_FAILURE() << "kein Fehler";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find("/f1"), std::string::npos) << e.what();
    }
    // One after the other stops at the first failure; together every sync has run.
    EXPECT_EQ(files[2]->synced.load(), together);
  }
}

TEST(FileSyncs, AChildMadeByForkSyncsWithThreadsOfItsOwn) {
  const auto parentFiles = Files({false, false, false});
  engine::SyncFiles(Pointers(parentFiles), true);  // the parent's threads now wait for work
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);  // a child waiting for the parent's threads would hang here
    const auto files = Files({false, false, false});
    engine::SyncFiles(Pointers(files), true);
    bool all = true;
    for (const auto& f : files) all = all && f->synced;
    _exit(all ? 0 : 1);
  }
  EXPECT_EQ(testsupport::WaitForExitStatus(child), 0);
}

TEST(FileSyncs, WithoutThreadsEveryFileIsSyncedOnTheCallersThread) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);
    // A process made by fork starts its sync threads anew, and here it can start none.
    const auto files = Files({false, true, false});
    const std::vector<engine::File*> pointers = Pointers(files);
    const testsupport::ThreadsRefused refused;
    try {
      engine::SyncFiles(pointers, true);
      _exit(4);
    } catch (const engine::EDBEngineError& e) {
      if (std::string(e.what()).find("/f1") == std::string::npos) _exit(5);
    } catch (...) {
      _exit(6);
    }
    for (const auto& f : files)
      if (!f->synced) _exit(1);
    _exit(0);
  }
  EXPECT_EQ(testsupport::WaitForExitStatus(child), 0);
}

}  // namespace
