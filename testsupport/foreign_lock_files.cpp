#include "testsupport/foreign_lock_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "testsupport/file_bytes.h"

namespace testsupport {

namespace {

void Put(std::vector<uint8_t>& bytes, size_t offset, const std::string& text) {
  std::memcpy(&bytes[offset], text.data(), text.size());
}

void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void WriteDirectoryLockFile(const std::string& dir, const std::string& netDirectory, uint32_t netFileId,
                            const std::string& name, uint16_t blocks) {
  std::vector<uint8_t> bytes(2048, 0);
  bytes[0] = 0x23;
  bytes[3] = 0x02;
  Put(bytes, 0x0C, "a newer file format");
  Put(bytes, 0x6E, netDirectory);
  PutU16(bytes, 0x108, blocks);
  PutU32(bytes, 0x10D, netFileId);
  Put(bytes, 0x400, "KUNDEN");
  Put(bytes, 0x420, kForeignUserName);
  WriteBytes(dir + name, bytes);
}

void WriteNetFile(const std::string& dir, uint32_t netFileId, const std::string& name) {
  std::vector<uint8_t> bytes(13030, 0);
  PutU32(bytes, 0x08, netFileId);
  Put(bytes, 0x100, kForeignUserName);
  WriteBytes(dir + name, bytes);
}

void WriteSmallLockFile(const std::string& path) {
  std::vector<uint8_t> bytes(110, 0);
  bytes[0] = 0x23;
  bytes[3] = 0x02;
  WriteBytes(path, bytes);
}

ForeignLockHolder::ForeignLockHolder(const std::string& path, bool exclusive, off_t start, off_t length) {
  int up[2], down[2];
  if (::pipe(up) != 0) return;
  if (::pipe(down) != 0) {
    ::close(up[0]);
    ::close(up[1]);
    return;
  }
  child_ = ::fork();
  if (child_ == 0) {
    ::close(up[0]);
    ::close(down[1]);
    const int fd = ::open(path.c_str(), exclusive ? O_RDWR : O_RDONLY);
    struct flock lock {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    const char got = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
    char c = 0;
    if (::write(up[1], &got, 1) == 1) (void)!::read(down[0], &c, 1);
    _exit(0);
  }
  ::close(up[1]);
  ::close(down[0]);
  release_ = down[1];
  char got = 0;
  holding_ = child_ > 0 && ::read(up[0], &got, 1) == 1 && got == 'y';
  ::close(up[0]);
}

ForeignLockHolder::~ForeignLockHolder() {
  if (release_ >= 0) ::close(release_);
  if (child_ > 0) ::waitpid(child_, nullptr, 0);
}

}  // namespace testsupport
