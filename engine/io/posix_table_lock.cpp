#include "io/posix_table_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "io/names.h"
#include "io/os_handles.h"
#include "io/table_lock.h"

namespace engine {

namespace {

constexpr char kLockSuffix[] = ".~kblock";

// One lock file per table whatever the letter case of its files: the base name in capitals.
std::string LockFilePath(const std::string& path) {
  const std::string name = FileNameOf(path);
  return path.substr(0, path.size() - name.size()) + UpperAscii(BaseNameOf(name)) + kLockSuffix;
}

bool RefusedForAccess(int err) { return err == EACCES || err == EROFS || err == EPERM || err == ETXTBSY; }

// 0 when the lock is taken, otherwise errno (EWOULDBLOCK: another process holds it).
int TryFlock(int fd, bool exclusive) {
  int rc;
  do {
    rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

// Whether `path` still names the file open at `fd` (it may have been removed or replaced since).
bool StillNamed(int fd, const std::string& path) {
  struct stat held, current;
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
         held.st_ino == current.st_ino;
}

// Holds the lock on the table's .DB (read-only directories); closing the descriptor releases it.
class DataFileHold : public TableLock {
 public:
  explicit DataFileHold(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;
};

// Holds the lock on the lock file. The holder that finds itself the last one (it gets the lock
// exclusively) removes the file before closing it; a process that opened the file before the
// removal finds it no longer named so when its own lock is granted, and takes a new one.
class LockFileHold : public TableLock {
 public:
  LockFileHold(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  ~LockFileHold() override {
    if (TryFlock(fd_.Get(), true) == 0 && StillNamed(fd_.Get(), path_)) ::unlink(path_.c_str());
  }

 private:
  std::string path_;
  UniqueFd fd_;
};

// The descriptor that carries a lock. NFS emulates flock with whole-file byte-range locks, for
// which an exclusive lock needs a descriptor open for writing; a file this user may only read
// is locked through a read-only one (locally that suffices). O_NONBLOCK: a FIFO given as a
// table name must not hang the open.
UniqueFd OpenForLock(const std::string& path, bool exclusive, int createFlag) {
  const int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (exclusive || createFlag) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | createFlag | flags, 0666));
    if (fd.Valid() || !RefusedForAccess(errno)) return fd;
  }
  return UniqueFd(::open(path.c_str(), O_RDONLY | flags));
}

// Takes the lock on the file at `lockPath` (refusals name the table at `path`). When the path is
// replaced by another file between open and lock, the lock on the old file would guard nothing,
// so the attempt is repeated on the current file. Invalid when no lock is held; *unopened tells
// whether that is because the file cannot be opened.
UniqueFd LockNamedFile(const std::string& lockPath, const std::string& path, bool exclusive, int createFlag,
                       bool* unopened) {
  *unopened = false;
  for (int attempt = 0; attempt < 8; ++attempt) {
    UniqueFd fd = OpenForLock(lockPath, exclusive, createFlag);
    if (!fd.Valid()) {
      *unopened = true;
      return fd;
    }
    const int err = TryFlock(fd.Get(), exclusive);
    if (err == EWOULDBLOCK) RefuseHeldElsewhere(path, exclusive);
    if (err != 0) return UniqueFd();  // the file system offers no locks (some network mounts)
    if (StillNamed(fd.Get(), lockPath)) return fd;
  }
  return UniqueFd();
}

// The old way, for directories without a lock file: the lock on the .DB.
std::unique_ptr<TableLock> LockDataFile(const std::string& path, bool exclusive) {
  bool unopened;
  UniqueFd fd = LockNamedFile(path, path, exclusive, 0, &unopened);
  if (!fd.Valid()) return nullptr;
  return std::make_unique<DataFileHold>(std::move(fd));
}

}  // namespace

std::unique_ptr<TableLock> LockTableFile(const std::string& path, bool exclusive) {
  const std::string lockPath = LockFilePath(path);
  bool unopened;
  UniqueFd fd = LockNamedFile(lockPath, path, exclusive, O_CREAT, &unopened);
  if (unopened) return LockDataFile(path, exclusive);
  if (!fd.Valid()) return nullptr;
  return std::make_unique<LockFileHold>(lockPath, std::move(fd));
}

}  // namespace engine
