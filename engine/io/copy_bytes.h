#pragma once
// Copies of the short byte strings of field values (a few to a few dozen bytes) in whole
// machine words instead of through a library call, which costs more than the copy at these
// lengths: as they are, and as an alpha value is compared, with every byte from its first NUL
// on cleared. Source and target must not overlap.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/unaligned.h"

namespace engine {

// The `n` bytes at `from` to `to`.
inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  if (n >= 8) {
    // The last word overlaps those before it.
    for (size_t i = 0; i + 8 < n; i += 8) StoreUnaligned(to + i, LoadUnaligned<uint64_t>(from + i));
    StoreUnaligned(to + n - 8, LoadUnaligned<uint64_t>(from + n - 8));
  } else if (n >= 4) {
    StoreUnaligned(to, LoadUnaligned<uint32_t>(from));
    StoreUnaligned(to + n - 4, LoadUnaligned<uint32_t>(from + n - 4));
  } else if (n >= 2) {
    StoreUnaligned(to, LoadUnaligned<uint16_t>(from));
    StoreUnaligned(to + n - 2, LoadUnaligned<uint16_t>(from + n - 2));
  } else if (n == 1) {
    to[0] = from[0];
  }
}

// `n` zero bytes to `to`.
inline void ClearBytes(uint8_t* to, size_t n) {
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) StoreUnaligned(to + i, uint64_t{0});
    StoreUnaligned(to + n - 8, uint64_t{0});
  } else if (n >= 4) {
    StoreUnaligned(to, uint32_t{0});
    StoreUnaligned(to + n - 4, uint32_t{0});
  } else if (n >= 2) {
    StoreUnaligned(to, uint16_t{0});
    StoreUnaligned(to + n - 2, uint16_t{0});
  } else if (n == 1) {
    to[0] = 0;
  }
}

// The `n` bytes of the alpha value at `from` to `to`, those from its first NUL on cleared.
inline void CopyAlpha(uint8_t* to, const uint8_t* from, size_t n) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    for (; i + 8 <= n; i += 8) {
      const uint64_t word = LoadUnaligned<uint64_t>(from + i);
      // The lowest high bit set marks the first NUL byte (bytes above it may be marked wrongly).
      const uint64_t nul = (word - kOnes) & ~word & kHighs;
      if (nul != 0) {
        const int kept = std::countr_zero(nul) / 8;
        StoreUnaligned(to + i, kept == 0 ? uint64_t{0} : word & (~uint64_t{0} >> (64 - 8 * kept)));
        ClearBytes(to + i + 8, n - i - 8);
        return;
      }
      StoreUnaligned(to + i, word);
    }
  }
  for (; i < n && from[i] != 0; ++i) to[i] = from[i];
  ClearBytes(to + i, n - i);
}

}  // namespace engine
