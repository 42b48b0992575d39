#pragma once
// The one error type of the engine. Every failure that reaches a caller of the engine is an
// EDBEngineError carrying a 16-bit engine result code and a German message that names the file
// and the cause. The direct calls return the code instead; Check() turns it into the exception.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace engine {

// Engine result codes (16 bit, 0 = success).
enum EngineResult : uint16_t {
  kOk = 0,
  kErrFileNotFound = 0x2104,      // table file or companion missing
  kErrNotATable = 0x2105,         // not a Paradox table / unknown file version
  kErrCorrupt = 0x2106,           // damaged file: chain loop, block out of range, short header
  kErrBlobMissing = 0x2107,       // .MB missing or damaged
  kErrPasswordProtected = 0x2108, // table is encrypted
  kErrLocked = 0x2109,            // table locked by another user
  kErrIo = 0x210A,                // read/write failure of the operating system
  kErrNotOpen = 0x210B,           // operation needs an open table
  kErrNotFound = 0x210C,          // field, index or record not found
  kErrKeyViolation = 0x210D,      // duplicate key
  kErrRequired = 0x210E,          // required field empty
  kErrInvalidValue = 0x210F,      // value cannot be converted
  kErrEmptyDataSet = 0x2110,      // operation on an empty data set
  kErrInvalidState = 0x2111,      // wrong dataset state for the operation
  kErrUnsupported = 0x2112,       // the format cannot hold the request (level, block size, ...)
  kErrInvalidHandle = 0x2113,     // bad cursor/session/database handle
  kErrInvalidParam = 0x2114,      // bad parameter to a direct call
};

class EDBEngineError : public std::runtime_error {
 public:
  EDBEngineError(uint16_t code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  uint16_t ErrorCode() const { return code_; }

 private:
  uint16_t code_;
};

// A silent abort: unwinds a command without a message (a refused insertion, work stopped from
// its progress callback).
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation abgebrochen"; }
};

// Raises EDBEngineError for a non-zero result, with the engine's text for that code
// (the text of the last failure reported on this thread when it has the same code).
void Check(uint16_t result);

}  // namespace engine
