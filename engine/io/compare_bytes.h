#pragma once
// memcmp's order of two byte strings of the same length, with the lengths of the common fixed
// keys (2, 4 and 8 bytes: short, long integer, date and number fields) compared as one
// big-endian number instead of through a call, and longer strings as such numbers 8 bytes at a
// time.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/unaligned.h"

namespace engine {

namespace compare_bytes_detail {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

// The bytes at `p` read as one big-endian number.
inline uint16_t BigEndian16(const uint8_t* p) { return __builtin_bswap16(LoadUnaligned<uint16_t>(p)); }
inline uint32_t BigEndian32(const uint8_t* p) { return __builtin_bswap32(LoadUnaligned<uint32_t>(p)); }
inline uint64_t BigEndian64(const uint8_t* p) { return __builtin_bswap64(LoadUnaligned<uint64_t>(p)); }

}  // namespace compare_bytes_detail

inline int CompareBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  using namespace compare_bytes_detail;
  switch (n) {
    case 2: return Order(BigEndian16(a), BigEndian16(b));
    case 4: return Order(BigEndian32(a), BigEndian32(b));
    case 8: return Order(BigEndian64(a), BigEndian64(b));
    default: break;
  }
  if (n < 8) return std::memcmp(a, b, n);
  // Longer strings 8 bytes at a time, the last 8 overlapping those before, which are equal by then.
  for (size_t i = 0; i + 8 < n; i += 8) {
    const uint64_t x = BigEndian64(a + i), y = BigEndian64(b + i);
    if (x != y) return x < y ? -1 : 1;
  }
  return Order(BigEndian64(a + n - 8), BigEndian64(b + n - 8));
}

}  // namespace engine
