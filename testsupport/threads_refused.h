#pragma once
// Starting threads made impossible for a while, to test the paths taken when the system has no
// thread to give: while a ThreadsRefused lives, every new thread of the process asks for a stack
// larger than any address space, and std::thread raises std::system_error. Threads running
// already go on. Not for use while other threads start threads.

#include <cstddef>

namespace testsupport {

class ThreadsRefused {
 public:
  ThreadsRefused();
  ~ThreadsRefused();
  ThreadsRefused(const ThreadsRefused&) = delete;
  ThreadsRefused& operator=(const ThreadsRefused&) = delete;

 private:
  size_t stackBytes_ = 0;  // the default before
};

}  // namespace testsupport
