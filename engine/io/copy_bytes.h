#pragma once
// Copies of the short byte strings of field values (a few to a few dozen bytes) in whole
// machine words instead of through a library call, which costs more than the copy at these
// lengths: as they are, and as an alpha value is compared, with every byte from its first NUL
// on cleared. Source and target must not overlap.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine {

namespace copy_bytes_detail {

template <typename T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace copy_bytes_detail

// The `n` bytes at `from` to `to`.
inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  using copy_bytes_detail::Load;
  using copy_bytes_detail::Store;
  if (n >= 8) {
    // The last word overlaps those before it.
    for (size_t i = 0; i + 8 < n; i += 8) Store(to + i, Load<uint64_t>(from + i));
    Store(to + n - 8, Load<uint64_t>(from + n - 8));
  } else if (n >= 4) {
    Store(to, Load<uint32_t>(from));
    Store(to + n - 4, Load<uint32_t>(from + n - 4));
  } else if (n >= 2) {
    Store(to, Load<uint16_t>(from));
    Store(to + n - 2, Load<uint16_t>(from + n - 2));
  } else if (n == 1) {
    to[0] = from[0];
  }
}

// `n` zero bytes to `to`.
inline void ClearBytes(uint8_t* to, size_t n) {
  using copy_bytes_detail::Store;
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) Store(to + i, uint64_t{0});
    Store(to + n - 8, uint64_t{0});
  } else if (n >= 4) {
    Store(to, uint32_t{0});
    Store(to + n - 4, uint32_t{0});
  } else if (n >= 2) {
    Store(to, uint16_t{0});
    Store(to + n - 2, uint16_t{0});
  } else if (n == 1) {
    to[0] = 0;
  }
}

// The `n` bytes of the alpha value at `from` to `to`, those from its first NUL on cleared.
inline void CopyAlpha(uint8_t* to, const uint8_t* from, size_t n) {
  using copy_bytes_detail::Load;
  using copy_bytes_detail::Store;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    for (; i + 8 <= n; i += 8) {
      const uint64_t word = Load<uint64_t>(from + i);
      // The lowest high bit set marks the first NUL byte (bytes above it may be marked wrongly).
      const uint64_t nul = (word - kOnes) & ~word & kHighs;
      if (nul != 0) {
        const int kept = std::countr_zero(nul) / 8;
        Store(to + i, kept == 0 ? uint64_t{0} : word & (~uint64_t{0} >> (64 - 8 * kept)));
        ClearBytes(to + i + 8, n - i - 8);
        return;
      }
      Store(to + i, word);
    }
  }
  for (; i < n && from[i] != 0; ++i) to[i] = from[i];
  ClearBytes(to + i, n - i);
}

}  // namespace engine
