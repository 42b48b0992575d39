#include "io/buffer_ahead.h"

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <new>
#include <system_error>

namespace engine {

namespace {

constexpr size_t kPageBytes = 4096;

}  // namespace

LargeBuffer AllocateFaultedBuffer(size_t bytes) {
  LargeBuffer buffer = AllocateLargeBuffer(bytes);
  uint8_t* p = buffer.get();
  // One call where the system has it, one write per page otherwise.
  if (bytes == 0 || madvise(p, bytes, MADV_POPULATE_WRITE) == 0) return buffer;
  for (size_t at = 0; at < bytes; at += kPageBytes) p[at] = 0;
  p[bytes - 1] = 0;
  return buffer;
}

BufferAhead::~BufferAhead() {
  LeaveAfterFork();
  if (next_.valid()) next_.wait();
}

void BufferAhead::LeaveAfterFork() {
  if (!next_.valid() || process_ == ::getpid()) return;
  // Releasing the future would wait for the parent's thread, which this process does not have;
  // the little it holds is left to the process's end.
  new std::future<LargeBuffer>(std::move(next_));
}

LargeBuffer BufferAhead::Take(size_t bytes, size_t nextBytes) {
  LeaveAfterFork();
  LargeBuffer buffer;
  // A buffer not ready yet is not waited for: on a busy machine the pass would then wait for the
  // second thread's turn as well. It is taken by a later call.
  if (next_.valid() && next_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    try {
      LargeBuffer made = next_.get();
      if (nextBytes_ == bytes) buffer = std::move(made);
    } catch (const std::bad_alloc&) {
      // Memory made ahead only to save time: without it the buffer is made here.
    }
  }
  if (!buffer) buffer = AllocateLargeBuffer(bytes);
  if (nextBytes > 0 && !next_.valid()) {
    try {
      next_ = std::async(std::launch::async, [nextBytes] { return AllocateFaultedBuffer(nextBytes); });
      nextBytes_ = nextBytes;
      process_ = ::getpid();
    } catch (const std::system_error&) {
      // No second thread: the next buffer is made when it is taken.
    } catch (const std::bad_alloc&) {
      // No memory for the thread's state: likewise.
    }
  }
  return buffer;
}

}  // namespace engine
