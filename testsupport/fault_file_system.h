#pragma once
// A file system for tests that wraps another one, counts its operations and fails a chosen one
// with EDBEngineError(kErrIo): a test runs an operation once to count its writes and then fails
// each of them in turn, or lets every read fail from some point on, or lets the process "die"
// after a chosen change (StopDeadAfter). Not thread-safe.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"

namespace testsupport {

enum class FaultKind {
  Write,     // File::WriteAt and File::Truncate
  Create,    // FileSystem::Open with OpenMode::CreateTruncate
  Rename,    // FileSystem::Rename
  Remove,    // FileSystem::Remove
  Sync,      // File::Sync and FileSystem::SyncDir
  Mutation,  // any of the above: one sequence over every change to the disk
  Read,      // File::ReadAt; not a change, so not counted as a Mutation
};

class FaultFileSystem : public engine::FileSystem {
 public:
  explicit FaultFileSystem(engine::FileSystem& base) : base_(base) {}

  // Fails the nth operation (from 1) of `kind`, counted from this call; with `sticky`, that one
  // and every later one of the kind fail (a full disk, a lost drive). n = 0 fails nothing.
  void FailNth(FaultKind kind, int n, bool sticky = false);
  // Lets the first k changes (Mutation, counted from this call) through and then stops dead, as a
  // killed process does: every later change, read and open raises and changes nothing, so no
  // clean-up code can mend what the first k changes left. k = 0 stops at the first change.
  void StopDeadAfter(int k);
  // Whether the file system has stopped dead.
  bool Dead() const { return dead_; }
  // Operations of `kind` since construction or the last ResetCounts (failed ones included).
  int Count(FaultKind kind) const;
  void ResetCounts();
  // Whether an injected failure has been raised since the last FailNth.
  bool Fired() const { return fired_; }

  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override;
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  void Remove(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  std::vector<std::string> List(const std::string& dir) override { return base_.List(dir); }
  void SyncDir(const std::string& dir) override;
  std::unique_ptr<engine::TableLock> Lock(const std::string& path, bool exclusive) override {
    return base_.Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return base_.CanonicalPath(path); }
  engine::FileUseProbe ProbeUse(const std::string& path) override { return base_.ProbeUse(path); }

  // Counts one operation of `kind` on `path` and raises when it is the chosen one or the file
  // system has stopped dead.
  void Step(FaultKind kind, const std::string& path);

 private:
  engine::FileSystem& base_;
  std::map<FaultKind, int> counts_;
  FaultKind failKind_ = FaultKind::Mutation;
  int failAt_ = 0;  // value of the kind's counter (since FailNth) that fails; 0 = none
  int sinceArm_ = 0;
  bool sticky_ = false;
  bool fired_ = false;
  int stopAfter_ = -1;  // the Mutation count at which it stops dead; -1 = never
  bool dead_ = false;
};

}  // namespace testsupport
