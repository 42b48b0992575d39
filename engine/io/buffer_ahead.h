#pragma once
// Large buffers made ready one ahead on a second thread for a pass that reads a file run after
// run into new memory: the system clears every fresh page when it is first written, which costs
// more than reading the file from its cache, so the next buffer's pages are faulted in beside the
// pass instead of inside its next read. Only memory is touched there, never a file. A child made
// by fork while a buffer was being made has no such thread: it leaves that buffer alone.

#include <sys/types.h>

#include <cstddef>
#include <future>

#include "io/large_buffer.h"

namespace engine {

class BufferAhead {
 public:
  BufferAhead() = default;
  BufferAhead(const BufferAhead&) = delete;
  BufferAhead& operator=(const BufferAhead&) = delete;
  ~BufferAhead();

  // A buffer of `bytes` (not cleared): the one made ahead when it is ready and has that size, else
  // a new one. Unless `nextBytes` is 0, the next buffer, of that size, is started on a second
  // thread unless one is still being made (made on this one, later, when no thread can be had).
  LargeBuffer Take(size_t bytes, size_t nextBytes);

 private:
  // Drops next_ in a process other than the one that started it, without waiting for it.
  void LeaveAfterFork();

  std::future<LargeBuffer> next_;
  size_t nextBytes_ = 0;
  pid_t process_ = 0;  // that started next_
};

// `bytes` bytes (not cleared) whose pages are all faulted in.
LargeBuffer AllocateFaultedBuffer(size_t bytes);

}  // namespace engine
