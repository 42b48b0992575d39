#pragma once
// The engine's direct calls and the table utility calls. Each returns a 16-bit result, 0 =
// success; Check() (engine_error.h) raises EDBEngineError for any other value.

#include <array>
#include <cstddef>
#include <cstdint>

namespace engine {

// Table-properties record, 427 bytes, byte-packed, little-endian integers.
constexpr size_t kCurPropsSize = 427;
constexpr size_t kCurPropsTableTypeOffset = 263;   // 32 bytes, zero-terminated ("PARADOX")
constexpr size_t kCurPropsFieldCountOffset = 295;  // u16
constexpr size_t kCurPropsRecordSizeOffset = 299;  // u16, physical record size in bytes
constexpr size_t kCurPropsLevelOffset = 351;       // u16, table level (3, 4, 5, 7)
constexpr size_t kCurPropsBlockSizeOffset = 387;   // u16, block size in KiB
using CURProps = std::array<uint8_t, kCurPropsSize>;

using hDBICur = void*;  // TTable::Handle()
using hDBIDb = void*;

constexpr uint16_t kObjDatabase = 4;

uint16_t GetCursorProperties(hDBICur cursor, CURProps& props);
uint16_t GetCursorDatabase(hDBICur cursor, uint16_t objectKind, hDBIDb* database);

// Table utility session.
uint16_t TUInit(uint16_t* session);
// Fills props from the table file's header alone, without opening the table.
uint16_t TUFillCURProps(uint16_t session, const char* tablePath, CURProps& props);
uint16_t TUExit(uint16_t session);

}  // namespace engine
