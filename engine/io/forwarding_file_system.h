#pragma once
// A file system that passes every call to another one: the base of layers that change only a
// few calls (the files seen through a table's key, files read once into memory).

#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"

namespace engine {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& base) : base_(base) {}

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override { return base_.Open(path, mode); }
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
  bool SyncsInParallel() const override { return base_.SyncsInParallel(); }
  // The file system below.
  FileSystem& Base() const { return base_; }

 private:
  FileSystem& base_;
};

}  // namespace engine
