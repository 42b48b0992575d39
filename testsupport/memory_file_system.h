#pragma once
// A file system in memory for tests: every file is a byte string keyed by its path exactly as
// given ("/mem/KUNDEN.DB"); a directory is the text of a path before its last "/". Open files
// keep their bytes after Remove or after being replaced by Rename, as POSIX files do. Table
// locks follow the sharing rules inside the process (there are no other processes); canonical
// paths are the normalized text. Not thread-safe.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"
#include "io/table_lock.h"

namespace testsupport {

class MemoryFileSystem : public engine::FileSystem {
 public:
  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override;
  bool Exists(const std::string& path) override;
  void Remove(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  std::vector<std::string> List(const std::string& dir) override;
  void SyncDir(const std::string& dir) override;
  std::unique_ptr<engine::TableLock> Lock(const std::string& path, bool exclusive) override;
  std::string CanonicalPath(const std::string& path) override;

  // Direct access for setting up and checking: stores a file, reads one (raises when missing),
  // all paths in sorted order, every file with its bytes, all files set back.
  void Put(const std::string& path, const std::string& bytes);
  std::string Contents(const std::string& path) const;
  std::vector<std::string> Paths() const;
  std::map<std::string, std::string> Snapshot() const;
  // Replaces every file by those of `snapshot` (as Snapshot gave it).
  void Restore(const std::map<std::string, std::string>& snapshot);

 private:
  std::map<std::string, std::shared_ptr<std::string>> files_;
  engine::TableLockRegistry locks_;
};

// Copies a file of the operating system's file system into `fs` under `memPath`.
void LoadFromDisk(engine::FileSystem& fs, const std::string& diskPath, const std::string& memPath);

// Copies a table file of the operating system's file system and every companion of it (see
// TableFamily) into `fs`, under the folder `memDir` (ending in "/") with their own names.
void LoadTableFromDisk(engine::FileSystem& fs, const std::filesystem::path& table, const std::string& memDir);

}  // namespace testsupport
