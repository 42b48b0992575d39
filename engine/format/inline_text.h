#pragma once
// Strings of a few characters made without a call into the library: the standard library keeps
// up to kInlineChars characters inside the string object, and a string made at that size and then
// cut to its text is written in place, where making it from a pointer and a length would copy
// through a call to memcpy. Value texts (numbers, dates, short alpha values) are made this way,
// one per field read.

#include <cstddef>
#include <cstring>
#include <string>

namespace engine {

// Characters that a string holds without memory of its own (libstdc++, libc++ hold more).
constexpr size_t kInlineChars = 15;

// The string of the `n` characters at `p`.
inline std::string InlineString(const char* p, size_t n) {
  // One string returned on every path, so that it is made where the caller wants it.
  std::string out(kInlineChars, '\0');
  if (n > kInlineChars) {
    out.assign(p, n);
    return out;
  }
  char* d = out.data();
  // Two copies of a fixed width that overlap cover every length from that width to twice it.
  if (n >= 8) {
    std::memcpy(d, p, 8);
    std::memcpy(d + n - 8, p + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(d, p, 4);
    std::memcpy(d + n - 4, p + n - 4, 4);
  } else if (n >= 2) {
    std::memcpy(d, p, 2);
    std::memcpy(d + n - 2, p + n - 2, 2);
  } else if (n == 1) {
    d[0] = p[0];
  }
  out.erase(n);
  return out;
}

}  // namespace engine
