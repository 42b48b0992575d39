#pragma once
// Reading the fields of a table-properties record (little-endian, byte-packed).

#include <cstdint>
#include <cstring>
#include <string>

#include "direct/direct_calls.h"

namespace blocksize {

inline uint16_t curPropsU16(const engine::CURProps& props, size_t offset) {
  return static_cast<uint16_t>(props[offset] | (props[offset + 1] << 8));
}

// The zero-terminated table type at its offset, at most 32 bytes.
inline std::string curPropsTableType(const engine::CURProps& props) {
  const char* text = reinterpret_cast<const char*>(&props[engine::kCurPropsTableTypeOffset]);
  return std::string(text, strnlen(text, engine::kCurPropsTableTypeBytes));
}

}  // namespace blocksize
