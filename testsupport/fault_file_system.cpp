#include "testsupport/fault_file_system.h"

#include "io/engine_error.h"
#include "io/fail.h"

namespace testsupport {

using engine::Fail;
using engine::kErrIo;

namespace {

class FaultFile : public engine::File {
 public:
  FaultFile(std::unique_ptr<engine::File> base, FaultFileSystem& owner)
      : base_(std::move(base)), owner_(owner) {}
  const std::string& Path() const override { return base_->Path(); }
  uint64_t Size() const override { return base_->Size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    owner_.Step(FaultKind::Read, Path());
    return base_->ReadAt(offset, dst, n);
  }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    owner_.Step(FaultKind::Write, Path());
    base_->WriteAt(offset, src, n);
  }
  void Truncate(uint64_t size) override {
    owner_.Step(FaultKind::Write, Path());
    base_->Truncate(size);
  }
  void Sync() override {
    owner_.Step(FaultKind::Sync, Path());
    base_->Sync();
  }

 private:
  std::unique_ptr<engine::File> base_;
  FaultFileSystem& owner_;
};

}  // namespace

void FaultFileSystem::FailNth(FaultKind kind, int n, bool sticky) {
  failKind_ = kind;
  failAt_ = n;
  sinceArm_ = 0;
  sticky_ = sticky;
  fired_ = false;
}

int FaultFileSystem::Count(FaultKind kind) const {
  const auto it = counts_.find(kind);
  return it == counts_.end() ? 0 : it->second;
}

void FaultFileSystem::ResetCounts() { counts_.clear(); }

void FaultFileSystem::StopDeadAfter(int k) {
  stopAfter_ = Count(FaultKind::Mutation) + k;
  dead_ = false;
}

void FaultFileSystem::Step(FaultKind kind, const std::string& path) {
  const bool mutation = kind != FaultKind::Read;
  if (!dead_ && mutation && stopAfter_ >= 0 && Count(FaultKind::Mutation) >= stopAfter_) dead_ = true;
  if (dead_) Fail(kErrIo, path, "Schreibfehler: Der Vorgang wurde abgebrochen (simuliert).");
  ++counts_[kind];
  if (mutation) ++counts_[FaultKind::Mutation];
  if (failAt_ <= 0 || (failKind_ != kind && !(failKind_ == FaultKind::Mutation && mutation))) return;
  ++sinceArm_;
  if (sinceArm_ == failAt_ || (sticky_ && sinceArm_ > failAt_)) {
    fired_ = true;
    Fail(kErrIo, path, std::string(mutation ? "Schreibfehler" : "Lesefehler") + ": simulierter Fehler Nr. " +
                           std::to_string(sinceArm_) + ".");
  }
}

std::unique_ptr<engine::File> FaultFileSystem::Open(const std::string& path, engine::OpenMode mode) {
  if (dead_) Fail(kErrIo, path, "Lesefehler: Der Vorgang wurde abgebrochen (simuliert).");
  if (mode == engine::OpenMode::CreateTruncate) Step(FaultKind::Create, path);
  return std::make_unique<FaultFile>(base_.Open(path, mode), *this);
}

void FaultFileSystem::Remove(const std::string& path) {
  Step(FaultKind::Remove, path);
  base_.Remove(path);
}

void FaultFileSystem::Rename(const std::string& from, const std::string& to) {
  Step(FaultKind::Rename, from);
  base_.Rename(from, to);
}

void FaultFileSystem::SyncDir(const std::string& dir) {
  Step(FaultKind::Sync, dir);
  base_.SyncDir(dir);
}

}  // namespace testsupport
