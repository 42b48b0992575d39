#pragma once
// Every direct call runs its body through DirectCall, which turns each way the body can end into
// the call's 16-bit result: 0 when it returns, the code of an EDBEngineError it raises, and
// kErrIo for any other exception (std::bad_alloc, another library's std::exception, anything
// else), with a German message naming the call that Check() then reports. Nothing but the
// result leaves a direct call.

#include <cstdint>
#include <exception>
#include <new>

#include "io/engine_error.h"

namespace engine {

// Records the failure of direct call `call` by an exception that is no EDBEngineError and
// returns its result. `detail` is the exception's own text, null when it has none.
uint16_t UnexpectedFailure(const char* call, const char* detail, bool outOfMemory) noexcept;

template <class F>
uint16_t DirectCall(const char* call, F&& body) noexcept {
  try {
    body();
    return kOk;
  } catch (const EDBEngineError& e) {
    return e.ErrorCode();
  } catch (const std::bad_alloc&) {
    return UnexpectedFailure(call, nullptr, true);
  } catch (const std::exception& e) {
    return UnexpectedFailure(call, e.what(), false);
  } catch (...) {
    return UnexpectedFailure(call, nullptr, false);
  }
}

}  // namespace engine
