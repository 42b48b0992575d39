#pragma once
// The lock files of other Paradox programs, as tests write them beside a table, and a process
// that holds a byte-range lock on a file as such a program would.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace testsupport {

// The login name the tests put into the net file and the directory lock file; no message may
// show it.
constexpr char kForeignUserName[] = "HMUSTERMANN";

// Writes `dir` + `name` as a directory lock file: two 1 KiB blocks with the stub, the net
// directory `netDirectory`, the block count 2, the net-file id `netFileId` and then a table
// name and the login name. `blocks` other than 2 gives a block count that does not fit the size.
void WriteDirectoryLockFile(const std::string& dir, const std::string& netDirectory, uint32_t netFileId,
                            const std::string& name = "PDOXUSRS.LCK", uint16_t blocks = 2);

// Writes `dir` + `name` as a net file of 13,030 bytes with the id `netFileId` and the login name.
void WriteNetFile(const std::string& dir, uint32_t netFileId, const std::string& name = "PDOXUSRS.NET");

// Writes a small per-table lock file (or the DOS-era stub) at `path`.
void WriteSmallLockFile(const std::string& path);

// A child process (fork) that holds a record lock on bytes [start, start + length) of `path`
// (length 0: to the end of the file and beyond), shared or exclusive, until this object goes.
class ForeignLockHolder {
 public:
  ForeignLockHolder(const std::string& path, bool exclusive, off_t start = 0, off_t length = 0);
  ~ForeignLockHolder();
  ForeignLockHolder(const ForeignLockHolder&) = delete;
  ForeignLockHolder& operator=(const ForeignLockHolder&) = delete;
  // Whether the child got its lock.
  bool Holding() const { return holding_; }

 private:
  pid_t child_ = -1;
  int release_ = -1;  // closing it lets the child end
  bool holding_ = false;
};

}  // namespace testsupport
