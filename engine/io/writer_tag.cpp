#include "io/writer_tag.h"

#include <unistd.h>

#include <atomic>

namespace engine {

std::string WriterTag() {
  static std::atomic<unsigned long> calls{0};
  return "-" + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(++calls);
}

}  // namespace engine
