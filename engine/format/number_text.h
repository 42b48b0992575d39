#pragma once
// Number text without printf: the same characters as the C library's "%0Nd" and "%.Ng" in the
// C locale (so whatever locale the process runs in, "." is the decimal point), at a fraction of
// the cost. Every value text of the engine is built from these.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace engine {

// Appends `v` in decimal, zero-padded to `width` characters including a minus sign ("%0*lld").
void AppendPadded(std::string& out, int64_t v, int width);
// Appends `v` as "%.<precision>g" does (precision 1..17).
void AppendGeneral(std::string& out, double v, int precision);
// Room that WriteHundredths needs.
constexpr size_t kHundredthsChars = 24;
// Writes "%.15g" of `v` at `out` (room for kHundredthsChars) when v is a whole number of
// hundredths (an amount of money, mostly) below 10^13 in magnitude and not 0; returns the end
// of the text, or nullptr for other values.
char* WriteHundredths(char* out, double v);
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
// Writes 0 ≤ v < 100 as two digits.
inline void WriteTwoDigits(char* out, unsigned v) { std::memcpy(out, kDigitPairs + 2 * v, 2); }
// Appends the 2·n lowercase hex digits of the bytes.
void AppendHex(std::string& out, const uint8_t* p, size_t n);

}  // namespace engine
