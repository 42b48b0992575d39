#include "bench/raw_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "bench/stopwatch.h"

namespace bench {

namespace {

constexpr size_t kBuffer = 1 << 20;

class Fd {
 public:
  Fd(const std::string& path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC, 0644)) {
    if (fd_ < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  }
  ~Fd() { ::close(fd_); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

size_t ReadSome(int fd, char* buffer, const std::string& path) {
  while (true) {
    const ssize_t n = ::read(fd, buffer, kBuffer);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) throw std::runtime_error(path + ": " + std::strerror(errno));
  }
}

}  // namespace

uint64_t RawRead(const std::string& path) {
  Fd in(path, O_RDONLY);
  std::vector<char> buffer(kBuffer);
  uint64_t total = 0;
  while (const size_t n = ReadSome(in.get(), buffer.data(), path)) total += n;
  return total;
}

uint64_t RawCopy(const std::string& from, const std::string& to) {
  Fd in(from, O_RDONLY);
  Fd out(to, O_WRONLY | O_CREAT | O_TRUNC);
  std::vector<char> buffer(kBuffer);
  uint64_t total = 0;
  while (const size_t n = ReadSome(in.get(), buffer.data(), from)) {
    size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(out.get(), buffer.data() + done, n - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        throw std::runtime_error(to + ": " + std::strerror(errno));
      }
      done += static_cast<size_t>(w);
    }
    total += n;
  }
  if (::fdatasync(out.get()) != 0) throw std::runtime_error(to + ": " + std::strerror(errno));
  return total;
}

double RawDurableWrites(const std::string& path, int64_t count) {
  constexpr size_t kBlock = 2048;
  constexpr int64_t kBlocks = 16;
  double seconds = 0;
  {
    Fd out(path, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<char> block(kBlock, 'x');
    const auto write = [&](int64_t i) {
      block[0] = static_cast<char>(i);
      const auto offset = static_cast<off_t>((i % kBlocks) * static_cast<int64_t>(kBlock));
      const ssize_t n = ::pwrite(out.get(), block.data(), kBlock, offset);
      if (n != static_cast<ssize_t>(kBlock))
        throw std::runtime_error(path + ": " + (n < 0 ? std::strerror(errno) : "kurzer Schreibvorgang"));
    };
    // The file at its full size first: the writes measured change no size.
    for (int64_t i = 0; i < kBlocks; ++i) write(i);
    if (::fdatasync(out.get()) != 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    const Stopwatch w;
    for (int64_t i = 0; i < count; ++i) {
      write(i);
      if (::fdatasync(out.get()) != 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    }
    seconds = w.Seconds();
  }
  ::unlink(path.c_str());
  return seconds;
}

}  // namespace bench
