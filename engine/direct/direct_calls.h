#pragma once
// The engine's direct calls and the table utility calls. Each returns a 16-bit result, 0 =
// success; Check() (engine_error.h) raises EDBEngineError for any other value.

#include <array>
#include <cstddef>
#include <cstdint>

namespace engine {

// Table-properties record, 427 bytes, byte-packed, little-endian integers.
constexpr size_t kCurPropsSize = 427;
constexpr size_t kCurPropsNameOffset = 0;          // 261 bytes, zero-terminated table name
constexpr size_t kCurPropsNameBytes = 261;
constexpr size_t kCurPropsTableTypeOffset = 263;   // 32 bytes, zero-terminated ("PARADOX")
constexpr size_t kCurPropsTableTypeBytes = 32;
constexpr size_t kCurPropsFieldCountOffset = 295;  // u16
constexpr size_t kCurPropsRecordSizeOffset = 299;  // u16, physical record size in bytes
constexpr size_t kCurPropsLevelOffset = 351;       // u16, table level (3, 4, 5, 7)
constexpr size_t kCurPropsBlockSizeOffset = 387;   // u16, block size in KiB
using CURProps = std::array<uint8_t, kCurPropsSize>;
static_assert(sizeof(CURProps) == 427);
static_assert(kCurPropsNameOffset + kCurPropsNameBytes <= kCurPropsTableTypeOffset);
static_assert(kCurPropsTableTypeOffset + kCurPropsTableTypeBytes == kCurPropsFieldCountOffset);
static_assert(kCurPropsFieldCountOffset + 2 <= kCurPropsRecordSizeOffset &&
              kCurPropsRecordSizeOffset + 2 <= kCurPropsLevelOffset &&
              kCurPropsLevelOffset + 2 <= kCurPropsBlockSizeOffset &&
              kCurPropsBlockSizeOffset + 2 <= kCurPropsSize,
              "the 16-bit figures lie apart and inside the record");

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

// The passwords of the session (the process): RestructureTable reads and rebuilds a
// password-protected table with the one among them that is its password, and refuses it with
// kErrPasswordProtected when none is. A password added twice needs dropping twice.
uint16_t AddPassword(const char* password);
uint16_t DropPassword(const char* password);

}  // namespace engine

namespace engine {

// Restructure descriptor: the engine's table descriptor with native-sized pointers. Bytes
// 0..673 keep their offsets; the two addresses follow at 674 and 674 + sizeof(void*).
constexpr size_t kTblDescNameOffset = 0;          // kTblDescNameBytes, zero-terminated table name
constexpr size_t kTblDescNameBytes = 261;
constexpr size_t kTblDescTypeOffset = 261;        // kTblDescTypeBytes, zero-terminated "PARADOX"
constexpr size_t kTblDescTypeBytes = 32;
constexpr size_t kTblDescOptParamsOffset = 672;   // u16, number of optional parameters
constexpr size_t kTblDescOptDescPtrOffset = 674;  // address of the option field descriptors
constexpr size_t kTblDescOptDataPtrOffset = kTblDescOptDescPtrOffset + sizeof(void*);  // address of the option data
constexpr size_t kTblDescSize = kTblDescOptDataPtrOffset + sizeof(void*);
static_assert(kTblDescNameOffset + kTblDescNameBytes == kTblDescTypeOffset);
static_assert(kTblDescTypeOffset + kTblDescTypeBytes <= kTblDescOptParamsOffset);
static_assert(kTblDescOptParamsOffset + 2 == kTblDescOptDescPtrOffset);
static_assert(kTblDescSize == 674 + 2 * sizeof(void*));
// Field descriptor used for one optional parameter, 62 bytes.
constexpr size_t kFldDescSize = 62;
constexpr size_t kFldDescNameOffset = 2;     // kFldDescNameBytes, zero-terminated option name
constexpr size_t kFldDescNameBytes = 32;
constexpr size_t kFldDescOffsetOffset = 42;  // u16, position of the value in the option data
constexpr size_t kFldDescLengthOffset = 44;  // u16, length of the value incl. its zero byte
static_assert(kFldDescNameOffset + kFldDescNameBytes <= kFldDescOffsetOffset);
static_assert(kFldDescOffsetOffset + 2 == kFldDescLengthOffset);
static_assert(kFldDescLengthOffset + 2 <= kFldDescSize);

// Rebuilds the table named in tableDesc (in the database's directory) in place with the
// optional parameters applied ("BLOCK SIZE": 1024/2048/4096/16384/32768, "LEVEL": 3/4/5/7).
// The table must be closed by the caller. saveAs, keyViol, problems must be null and
// analyzeOnly false.
uint16_t RestructureTable(hDBIDb database, uint16_t descCount, const uint8_t* tableDesc,
                          const char* saveAs, void* keyViol, void* problems, bool analyzeOnly);

}  // namespace engine
