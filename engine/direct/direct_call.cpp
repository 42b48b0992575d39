#include "direct/direct_call.h"

#include <string>

#include "io/fail.h"

namespace engine {

uint16_t UnexpectedFailure(const char* call, const char* detail, bool outOfMemory) noexcept {
  try {
    std::string message = std::string(call) + ": ";
    if (outOfMemory)
      message += "Nicht genügend Arbeitsspeicher.";
    else if (detail && *detail)
      message += std::string("Unerwarteter Fehler (") + detail + ").";
    else
      message += "Unerwarteter Fehler.";
    RecordFailure(kErrIo, message);
  } catch (...) {
    // No memory even for the text: Check() gives the code's general text.
    RecordFailure(kErrIo, std::string());
  }
  return kErrIo;
}

}  // namespace engine
