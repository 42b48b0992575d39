#pragma once
// Number text without printf: the same characters as the C library's "%0Nd" and "%.Ng" in the
// C locale (so whatever locale the process runs in, "." is the decimal point), at a fraction of
// the cost. Every value text of the engine is built from these.

#include <cstdint>
#include <string>

namespace engine {

// Appends `v` in decimal, zero-padded to `width` characters including a minus sign ("%0*lld").
void AppendPadded(std::string& out, int64_t v, int width);
// Appends `v` as "%.<precision>g" does (precision 1..17).
void AppendGeneral(std::string& out, double v, int precision);
// Appends the 2·n lowercase hex digits of the bytes.
void AppendHex(std::string& out, const uint8_t* p, size_t n);

}  // namespace engine
