#pragma once
// A file system that reads a file opened read-only through it in one go, when it is no larger
// than a limit, and serves every read of that file from memory: for a check that reads a small
// file in many small pieces (a .MB looked up once per blob field). Larger files and every other
// call go to the file system below. Meant for files that nobody changes meanwhile (a table held
// by a lock).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"

namespace engine {

class WholeFileReads : public FileSystem {
 public:
  WholeFileReads(FileSystem& base, uint64_t maxBytes) : base_(base), maxBytes_(maxBytes) {}

  // The file at `path`, in memory when opened read-only and at most maxBytes long. It keeps
  // its bytes itself: it may outlive this object.
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  void Remove(const std::string& path) override { base_.Remove(path); }
  void Rename(const std::string& from, const std::string& to) override { base_.Rename(from, to); }
  std::vector<std::string> List(const std::string& dir) override { return base_.List(dir); }
  void SyncDir(const std::string& dir) override { base_.SyncDir(dir); }
  std::unique_ptr<TableLock> Lock(const std::string& path, bool exclusive) override {
    return base_.Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return base_.CanonicalPath(path); }
  FileUseProbe ProbeUse(const std::string& path) override { return base_.ProbeUse(path); }
  uint32_t CipherKey() const override { return base_.CipherKey(); }

 private:
  FileSystem& base_;
  uint64_t maxBytes_;
};

}  // namespace engine
