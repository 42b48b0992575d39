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
// Writes "%.15g" of `v` at `out` when v is a whole number of hundredths (an amount of money,
// mostly) below 10^13 in magnitude and not 0; returns the end of the text, or nullptr for other
// values. Writes the characters of the text only: kHundredthsChars at most, 15 for |v| < 10^11.
char* WriteHundredths(char* out, double v);
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
// Writes 0 ≤ v < 100 as two digits.
inline void WriteTwoDigits(char* out, unsigned v) { std::memcpy(out, kDigitPairs + 2 * v, 2); }
// Appends the 2·n lowercase hex digits of the bytes.
void AppendHex(std::string& out, const uint8_t* p, size_t n);
// The two lowercase hex digits of every byte, in order.
inline constexpr char kHexPairs[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
    "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
    "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
    "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
    "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
    "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf"
    "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedf"
    "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";
// Writes the two lowercase hex digits of a byte.
inline void WriteHexByte(char* out, uint8_t b) { std::memcpy(out, kHexPairs + 2 * b, 2); }
// Appends the 16 lowercase hex digits of `v`, the most significant first.
void AppendHex64(std::string& out, uint64_t v);

}  // namespace engine
