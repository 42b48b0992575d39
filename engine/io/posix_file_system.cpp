#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_mapping.h"
#include "io/file_system.h"
#include "io/file_use_probe.h"
#include "io/os_handles.h"
#include "io/posix_table_lock.h"
#include "io/system_error_text.h"
#include "io/table_lock.h"

namespace engine {

namespace {

class PosixFile : public File {
 public:
  PosixFile(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override {
    struct stat st;
    if (::fstat(fd_.Get(), &st) != 0) Fail(kErrIo, path_, "Dateigröße nicht lesbar: " + SystemErrorText(errno));
    return static_cast<uint64_t>(st.st_size);
  }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd_.Get(), static_cast<char*>(dst) + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        Fail(kErrIo, path_, "Lesefehler: " + SystemErrorText(errno));
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pwrite(fd_.Get(), static_cast<const char*>(src) + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        Fail(kErrIo, path_, "Schreibfehler: " + SystemErrorText(errno));
      }
      done += static_cast<size_t>(r);
    }
  }
  void Truncate(uint64_t size) override {
    if (::ftruncate(fd_.Get(), static_cast<off_t>(size)) != 0)
      Fail(kErrIo, path_, "Dateilänge nicht änderbar: " + SystemErrorText(errno));
  }
  void StartWriteBack(uint64_t offset, uint64_t n) override {
    // A hint: a failure shows in the Sync that follows.
    ::sync_file_range(fd_.Get(), static_cast<off_t>(offset), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
  }
  void Sync() override {
    if (::fdatasync(fd_.Get()) != 0) Fail(kErrIo, path_, "Schreiben auf den Datenträger fehlgeschlagen: " + SystemErrorText(errno));
  }
  bool WritableFromAnyThread() const override { return true; }
  std::unique_ptr<FileMapping> MapForReading(uint64_t bytes) const override {
    return FileMapping::Map(fd_.Get(), bytes, path_);
  }

 private:
  std::string path_;
  UniqueFd fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  bool SyncsInParallel() const override { return true; }
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::ReadOnly: flags |= O_RDONLY; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::CreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    UniqueFd fd(::open(path.c_str(), flags, 0644));
    if (!fd.Valid()) {
      const int err = errno;
      if (err == ENOENT) Fail(kErrFileNotFound, path, "Die Datei wurde nicht gefunden.");
      if (err == EACCES || err == EROFS)
        Fail(kErrIo, path, "Keine Berechtigung für den Zugriff (" + SystemErrorText(err) + ").");
      Fail(kErrIo, path, "Die Datei kann nicht geöffnet werden: " + SystemErrorText(err));
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode))
      Fail(kErrNotATable, path, "Das ist ein Verzeichnis, keine Datei.");
    return std::make_unique<PosixFile>(path, std::move(fd));
  }
  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
      Fail(kErrIo, path, "Die Datei kann nicht gelöscht werden: " + SystemErrorText(errno));
  }
  void Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0)
      Fail(kErrIo, from, "Umbenennen nach „" + to + "“ fehlgeschlagen: " + SystemErrorText(errno));
  }
  std::vector<std::string> List(const std::string& dir) override {
    std::vector<std::string> names;
    const UniqueDir d(::opendir(dir.c_str()));
    if (!d) Fail(kErrIo, dir, "Das Verzeichnis kann nicht gelesen werden: " + SystemErrorText(errno));
    while (dirent* e = ::readdir(d.get())) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      // The entry's type comes with the listing on most file systems; only links and
      // unknown types need a stat to tell regular files from the rest.
      const bool regular = e->d_type == DT_REG ||
                           ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) &&
                            Exists(dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name));
      if (regular) names.push_back(name);
    }
    return names;
  }
  void SyncDir(const std::string& dir) override {
    const UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid())
      Fail(kErrIo, dir, "Das Verzeichnis kann nicht geöffnet werden: " + SystemErrorText(errno));
    if (::fsync(fd.Get()) == 0) return;
    const int err = errno;
    // File systems that cannot sync a directory (some network and FUSE mounts) say so; there is
    // nothing more to make durable on them.
    if (err == EINVAL || err == ENOTSUP) return;
    Fail(kErrIo, dir, "Das Verzeichnis kann nicht auf den Datenträger geschrieben werden: " + SystemErrorText(err));
  }
  std::unique_ptr<TableLock> Lock(const std::string& path, bool exclusive) override {
    return locks_.Acquire(CanonicalPath(path), path, exclusive, [&] { return LockTableFile(path, exclusive); });
  }
  std::string CanonicalPath(const std::string& path) override {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) return resolved;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return std::filesystem::path(path).lexically_normal().string();
    return std::filesystem::weakly_canonical(absolute, ec).string();
  }
  FileUseProbe ProbeUse(const std::string& path) override { return ProbeFileUse(path); }
  // Every call works on descriptors and directory streams of its own.
  bool ConcurrentReads() const override { return true; }

 private:
  TableLockRegistry locks_;
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace engine
