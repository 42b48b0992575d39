#include "io/table_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "io/engine_error.h"
#include "io/fail.h"

namespace engine {

namespace {

// Two layers decide whether an open may proceed:
//  - a registry of the tables this process holds, keyed by the canonical path of the .DB, with
//    the count of shared holders and whether one holder has it exclusively;
//  - an flock() on the .DB itself for the other processes. flock locks belong to an open file
//    description, so the process keeps one descriptor per table: the registry admits or refuses
//    further holders inside the process, the descriptor's lock speaks for all of them outside.
// Locking the .DB rather than a separate lock file needs no write access to the directory, so
// tables in read-only directories can be opened, and leaves no files behind. A table that does not exist
// on disk (yet) is guarded by the registry alone.
struct Entry {
  int sharedHolders = 0;
  bool exclusiveHolder = false;
  int fd = -1;  // descriptor carrying the flock, -1 when the file is not on disk
};

std::mutex registryMutex;
std::map<std::string, Entry>& Registry() {
  static std::map<std::string, Entry> registry;
  return registry;
}

std::string Quoted(const std::string& path) { return "\xE2\x80\x9E" + path + "\xE2\x80\x9C"; }

std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) return std::filesystem::path(path).lexically_normal().string();
  return std::filesystem::weakly_canonical(absolute, ec).string();
}

enum class OsLock { Held, NotOnDisk, Refused };

// The descriptor that carries the lock. NFS emulates flock with whole-file byte-range locks,
// for which an exclusive lock needs a descriptor open for writing; a file this user may only
// read is locked through a read-only one (locally that suffices). O_NONBLOCK: a FIFO given as
// a table name must not hang the open.
int OpenForLock(const std::string& path, bool exclusive) {
  const int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (exclusive) {
    const int fd = ::open(path.c_str(), O_RDWR | flags);
    if (fd >= 0 || (errno != EACCES && errno != EROFS && errno != EPERM && errno != ETXTBSY)) return fd;
  }
  return ::open(path.c_str(), O_RDONLY | flags);
}

// Opens the file and takes a non-blocking flock. When the path is replaced by another file
// (a restructure renames its new table over the old one) between open and lock, the lock on the
// old file would guard nothing, so the attempt is repeated on the current file.
OsLock LockOnDisk(const std::string& path, bool exclusive, int* fdOut) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = OpenForLock(path, exclusive);
    if (fd < 0) return OsLock::NotOnDisk;
    int rc;
    do {
      rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return OsLock::Refused;
      // The file system offers no locks (some network mounts): the registry still guards
      // this process.
      return OsLock::NotOnDisk;
    }
    struct stat held, current;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 &&
        held.st_dev == current.st_dev && held.st_ino == current.st_ino) {
      *fdOut = fd;
      return OsLock::Held;
    }
    ::close(fd);
  }
  return OsLock::NotOnDisk;
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  FailPlain(kErrLocked, "Die Tabelle " + Quoted(path) + why);
}

class HeldTableLock : public TableLock {
 public:
  HeldTableLock(std::string key, bool exclusive) : key_(std::move(key)), exclusive_(exclusive) {}
  ~HeldTableLock() override {
    std::lock_guard<std::mutex> guard(registryMutex);
    auto& registry = Registry();
    const auto it = registry.find(key_);
    if (it == registry.end()) return;
    Entry& entry = it->second;
    if (exclusive_) {
      entry.exclusiveHolder = false;
    } else {
      --entry.sharedHolders;
    }
    if (entry.exclusiveHolder || entry.sharedHolders > 0) return;
    if (entry.fd >= 0) ::close(entry.fd);  // closing the descriptor releases the flock
    registry.erase(it);
  }

 private:
  std::string key_;
  bool exclusive_;
};

}  // namespace

std::unique_ptr<TableLock> TableLock::Acquire(const std::string& dataFilePath, bool exclusive) {
  const std::string key = CanonicalPath(dataFilePath);
  std::lock_guard<std::mutex> guard(registryMutex);
  auto& registry = Registry();
  const auto found = registry.find(key);
  if (found != registry.end()) {
    Entry& entry = found->second;
    if (entry.exclusiveHolder)
      Refuse(dataFilePath, " ist in diesem Programm bereits exklusiv geöffnet.");
    if (exclusive)
      Refuse(dataFilePath, " ist in diesem Programm bereits geöffnet und kann nicht exklusiv geöffnet werden.");
    ++entry.sharedHolders;
    return std::make_unique<HeldTableLock>(key, false);
  }

  Entry entry;
  switch (LockOnDisk(dataFilePath, exclusive, &entry.fd)) {
    case OsLock::Refused:
      if (exclusive)
        Refuse(dataFilePath, " ist von einem anderen Benutzer geöffnet und kann nicht exklusiv geöffnet werden.");
      Refuse(dataFilePath, " ist von einem anderen Benutzer exklusiv geöffnet.");
    case OsLock::Held:
    case OsLock::NotOnDisk:
      break;
  }
  if (exclusive) {
    entry.exclusiveHolder = true;
  } else {
    entry.sharedHolders = 1;
  }
  registry.emplace(key, entry);
  return std::make_unique<HeldTableLock>(key, exclusive);
}

}  // namespace engine
