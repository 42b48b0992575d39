#include "testsupport/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "io/engine_error.h"
#include "io/fail.h"
#include "testsupport/table_files.h"

namespace testsupport {

using engine::Fail;
using engine::kErrFileNotFound;
using engine::kErrIo;

namespace {

std::string DirOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

class MemoryFile : public engine::File {
 public:
  MemoryFile(std::string path, std::shared_ptr<std::string> data, bool writable)
      : path_(std::move(path)), data_(std::move(data)), writable_(writable) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return data_->size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    if (offset >= data_->size()) return 0;
    const size_t count = std::min<uint64_t>(n, data_->size() - offset);
    std::memcpy(dst, data_->data() + offset, count);
    return count;
  }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    RequireWritable();
    if (data_->size() < offset + n) data_->resize(offset + n, '\0');
    std::memcpy(data_->data() + offset, src, n);
  }
  void Truncate(uint64_t size) override {
    RequireWritable();
    data_->resize(size, '\0');
  }
  void Sync() override {}

 private:
  void RequireWritable() const {
    if (!writable_) Fail(kErrIo, path_, "Schreibfehler: Die Datei ist nur zum Lesen geöffnet.");
  }
  std::string path_;
  std::shared_ptr<std::string> data_;
  bool writable_;
};

}  // namespace

std::unique_ptr<engine::File> MemoryFileSystem::Open(const std::string& path, engine::OpenMode mode) {
  auto it = files_.find(path);
  if (mode == engine::OpenMode::CreateTruncate) {
    if (it == files_.end()) {
      it = files_.emplace(path, std::make_shared<std::string>()).first;
    } else {
      it->second->clear();
    }
  } else if (it == files_.end()) {
    Fail(kErrFileNotFound, path, "Die Datei wurde nicht gefunden.");
  }
  return std::make_unique<MemoryFile>(path, it->second, mode != engine::OpenMode::ReadOnly);
}

bool MemoryFileSystem::Exists(const std::string& path) { return files_.count(path) != 0; }

void MemoryFileSystem::Remove(const std::string& path) { files_.erase(path); }

void MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  const auto it = files_.find(from);
  if (it == files_.end()) Fail(kErrFileNotFound, from, "Umbenennen nach „" + to + "“: Die Datei wurde nicht gefunden.");
  auto data = it->second;
  files_.erase(it);
  files_[to] = std::move(data);
}

std::vector<std::string> MemoryFileSystem::List(const std::string& dir) {
  const std::string wanted = WithoutTrailingSlash(dir);
  std::vector<std::string> names;
  for (const auto& [path, data] : files_)
    if (DirOf(path) == wanted) names.push_back(path.substr(path.rfind('/') + 1));
  return names;
}

void MemoryFileSystem::SyncDir(const std::string&) {}

std::unique_ptr<engine::TableLock> MemoryFileSystem::Lock(const std::string& path, bool exclusive) {
  return locks_.Acquire(CanonicalPath(path), path, exclusive, {});
}

std::string MemoryFileSystem::CanonicalPath(const std::string& path) {
  return WithoutTrailingSlash(std::filesystem::path(path).lexically_normal().string());
}

void MemoryFileSystem::Put(const std::string& path, const std::string& bytes) {
  files_[path] = std::make_shared<std::string>(bytes);
}

std::string MemoryFileSystem::Contents(const std::string& path) const {
  const auto it = files_.find(path);
  if (it == files_.end()) Fail(kErrFileNotFound, path, "Die Datei wurde nicht gefunden.");
  return *it->second;
}

std::vector<std::string> MemoryFileSystem::Paths() const {
  std::vector<std::string> paths;
  for (const auto& entry : files_) paths.push_back(entry.first);
  return paths;
}

std::map<std::string, std::string> MemoryFileSystem::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& [path, data] : files_) files[path] = *data;
  return files;
}

void MemoryFileSystem::Restore(const std::map<std::string, std::string>& snapshot) {
  files_.clear();
  for (const auto& [path, bytes] : snapshot) Put(path, bytes);
}

void LoadFromDisk(engine::FileSystem& fs, const std::string& diskPath, const std::string& memPath) {
  const auto source = engine::DefaultFileSystem().Open(diskPath, engine::OpenMode::ReadOnly);
  std::string bytes(source->Size(), '\0');
  bytes.resize(source->ReadAt(0, bytes.data(), bytes.size()));
  const auto target = fs.Open(memPath, engine::OpenMode::CreateTruncate);
  target->WriteAt(0, bytes.data(), bytes.size());
}

void LoadTableFromDisk(engine::FileSystem& fs, const std::filesystem::path& table, const std::string& memDir) {
  for (const std::filesystem::path& file : TableFamily(table))
    LoadFromDisk(fs, file.string(), memDir + file.filename().string());
}

}  // namespace testsupport
