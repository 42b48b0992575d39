#include "testsupport/threads_refused.h"

#include <pthread.h>

#include <stdexcept>

namespace testsupport {

namespace {

void SetDefaultStackBytes(size_t bytes) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) throw std::runtime_error("pthread_attr_init");
  const bool set = pthread_attr_setstacksize(&attr, bytes) == 0 && pthread_setattr_default_np(&attr) == 0;
  pthread_attr_destroy(&attr);
  if (!set) throw std::runtime_error("pthread_setattr_default_np");
}

}  // namespace

ThreadsRefused::ThreadsRefused() {
  pthread_attr_t attr;
  if (pthread_getattr_default_np(&attr) != 0) throw std::runtime_error("pthread_getattr_default_np");
  pthread_attr_getstacksize(&attr, &stackBytes_);
  pthread_attr_destroy(&attr);
  SetDefaultStackBytes(size_t{1} << 46);
}

ThreadsRefused::~ThreadsRefused() {
  try {
    SetDefaultStackBytes(stackBytes_);
  } catch (const std::runtime_error&) {
    // Left as it is: later threads of the test program are refused too.
  }
}

}  // namespace testsupport
