#include "io/file_use_probe.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "io/os_handles.h"

namespace engine {

namespace {

// A write lock over the whole file, to the end and beyond: every lock of someone else conflicts
// with it, a shared one included.
struct flock WholeFileQuery() {
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 0;
  query.l_pid = 0;
  return query;
}

// Whether the lock test ran; *held tells whether a conflicting lock was reported. Locks that
// belong to an open file description (F_OFD_GETLK) conflict with the process's own record locks
// too, so the test cannot mistake a lock of another process for one of its own; kernels and file
// systems without them get the classic test.
bool TestLock(int fd, bool* held) {
  struct flock query = WholeFileQuery();
  int rc = ::fcntl(fd, F_OFD_GETLK, &query);
  if (rc != 0 && errno == EINVAL) {
    query = WholeFileQuery();
    rc = ::fcntl(fd, F_GETLK, &query);
  }
  if (rc != 0) return false;
  *held = query.l_type != F_UNLCK;
  return true;
}

}  // namespace

FileUseProbe ProbeFileUse(const std::string& path) {
  FileUseProbe probe;
  // O_NONBLOCK: a FIFO of that name must not hang the open.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.Valid()) return probe;
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return probe;
  probe.hasModified = true;
  probe.modifiedSeconds = static_cast<int64_t>(st.st_mtime);
  probe.probed = TestLock(fd.Get(), &probe.lockedElsewhere);
  return probe;
}

}  // namespace engine
