#pragma once
// Number text without printf: the same characters as the C library's "%0Nd" and "%.Ng" in the
// C locale (so whatever locale the process runs in, "." is the decimal point), at a fraction of
// the cost. Every value text of the engine is built from these.

#include <cstddef>
#include <cstdint>
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
// Appends the 2·n lowercase hex digits of the bytes.
void AppendHex(std::string& out, const uint8_t* p, size_t n);

}  // namespace engine
