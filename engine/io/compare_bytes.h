#pragma once
// memcmp's order of two byte strings of the same length, with the lengths of the common fixed
// keys (2, 4 and 8 bytes: short, long integer, date and number fields) compared as one
// big-endian number instead of through a call, and longer strings as such numbers 8 bytes at a
// time.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine {

namespace compare_bytes_detail {

template <typename T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace compare_bytes_detail

inline int CompareBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  using compare_bytes_detail::Load;
  using compare_bytes_detail::Order;
  switch (n) {
    case 2: return Order(__builtin_bswap16(Load<uint16_t>(a)), __builtin_bswap16(Load<uint16_t>(b)));
    case 4: return Order(__builtin_bswap32(Load<uint32_t>(a)), __builtin_bswap32(Load<uint32_t>(b)));
    case 8: return Order(__builtin_bswap64(Load<uint64_t>(a)), __builtin_bswap64(Load<uint64_t>(b)));
    default: break;
  }
  if (n < 8) return std::memcmp(a, b, n);
  // Longer strings 8 bytes at a time, the last 8 overlapping those before, which are equal by then.
  for (size_t i = 0; i + 8 < n; i += 8) {
    const uint64_t x = __builtin_bswap64(Load<uint64_t>(a + i)), y = __builtin_bswap64(Load<uint64_t>(b + i));
    if (x != y) return x < y ? -1 : 1;
  }
  return Order(__builtin_bswap64(Load<uint64_t>(a + n - 8)), __builtin_bswap64(Load<uint64_t>(b + n - 8)));
}

}  // namespace engine
