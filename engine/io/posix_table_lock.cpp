#include "io/posix_table_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "io/os_handles.h"
#include "io/table_lock.h"

namespace engine {

namespace {

class FileLockHold : public TableLock {
 public:
  explicit FileLockHold(UniqueFd fd) : fd_(std::move(fd)) {}  // closing it releases the flock

 private:
  UniqueFd fd_;
};

// The descriptor that carries the lock. NFS emulates flock with whole-file byte-range locks,
// for which an exclusive lock needs a descriptor open for writing; a file this user may only
// read is locked through a read-only one (locally that suffices). O_NONBLOCK: a FIFO given as
// a table name must not hang the open.
UniqueFd OpenForLock(const std::string& path, bool exclusive) {
  const int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (exclusive) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | flags));
    if (fd.Valid() || (errno != EACCES && errno != EROFS && errno != EPERM && errno != ETXTBSY)) return fd;
  }
  return UniqueFd(::open(path.c_str(), O_RDONLY | flags));
}

}  // namespace

// When the path is replaced by another file (a restructure renames its new table over the old
// one) between open and lock, the lock on the old file would guard nothing, so the attempt is
// repeated on the current file.
std::unique_ptr<TableLock> LockTableFile(const std::string& path, bool exclusive) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    UniqueFd fd = OpenForLock(path, exclusive);
    if (!fd.Valid()) return nullptr;
    int rc;
    do {
      rc = ::flock(fd.Get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      if (errno == EWOULDBLOCK) RefuseHeldElsewhere(path, exclusive);
      return nullptr;  // the file system offers no locks (some network mounts)
    }
    struct stat held, current;
    if (::fstat(fd.Get(), &held) == 0 && ::stat(path.c_str(), &current) == 0 &&
        held.st_dev == current.st_dev && held.st_ino == current.st_ino)
      return std::make_unique<FileLockHold>(std::move(fd));
  }
  return nullptr;
}

}  // namespace engine
