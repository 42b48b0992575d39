#pragma once
// Byte-level encodings of the Paradox files. Header, block-header and .MB integers are
// little-endian. Numeric field data in records (and in index records) is big-endian with the
// sign bit flipped, so that an unsigned byte-wise comparison orders values; all-zero bytes mean
// null.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine::coding {

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t GetS16(const uint8_t* p) { return static_cast<int16_t>(GetU16(p)); }
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline bool AllZero(const uint8_t* p, size_t n) {
  // Eight bytes at a time; fields of 4 and 8 bytes are one load each.
  if (n == 4) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word == 0;
  }
  if (n == 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word == 0;
  }
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, sizeof word);
    any |= word;
  }
  if (i + 4 <= n) {
    uint32_t word;
    std::memcpy(&word, p + i, sizeof word);
    any |= word;
    i += 4;
  }
  for (; i < n; ++i) any |= p[i];
  return any == 0;
}

// Integer field data of 2 or 4 bytes (S, I, +, D, T and the index-record shorts):
// two's complement, big-endian, top bit inverted. The caller checks for null (all zero) first.
inline int32_t DecodeFlippedInt(const uint8_t* p, size_t width) {
  if (width == 4) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    return static_cast<int32_t>(v ^ 0x80000000u);
  }
  uint32_t v = 0;
  for (size_t i = 0; i < width; ++i) v = (v << 8) | p[i];
  v ^= 1u << (8 * width - 1);
  if (width == 2) return static_cast<int16_t>(v);
  return static_cast<int32_t>(v);
}
inline void EncodeFlippedInt(int32_t value, uint8_t* p, size_t width) {
  uint32_t v = static_cast<uint32_t>(value);
  v ^= 1u << (8 * width - 1);
  for (size_t i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
}

// Double field data (N, $, @): IEEE big-endian; non-negative values get the top bit set,
// negative values have every bit inverted.
inline double DecodeFlippedDouble(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  if (v & (1ull << 63))
    v &= ~(1ull << 63);
  else
    v = ~v;
  double d;
  std::memcpy(&d, &v, sizeof d);
  return d;
}
inline void EncodeFlippedDouble(double d, uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  if (v & (1ull << 63))
    v = ~v;
  else
    v |= 1ull << 63;
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (7 - i)));
}

// FNV-1a, 64 bits, of n bytes.
inline uint64_t Fnv1a64(const uint8_t* p, size_t n) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 0x100000001b3ull;
  }
  return h;
}

}  // namespace engine::coding
