#include "format/number_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>

namespace engine {

void AppendPadded(std::string& out, int64_t v, int width) {
  char text[24];  // the sign, then the digits
  char* digits = text + 1;
  const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  // 32-bit steps where the value allows them: they cost less than 64-bit ones.
  char* end = magnitude <= UINT32_MAX
                  ? std::to_chars(digits, text + sizeof text, static_cast<uint32_t>(magnitude)).ptr
                  : std::to_chars(digits, text + sizeof text, magnitude).ptr;
  const int count = static_cast<int>(end - digits);
  char* begin = digits;
  if (v < 0) {
    *--begin = '-';
    --width;
  }
  if (count >= width) {  // one piece, the common case
    out.append(begin, static_cast<size_t>(end - begin));
    return;
  }
  out.append(begin, static_cast<size_t>(digits - begin));
  out.append(static_cast<size_t>(width - count), '0');
  out.append(digits, static_cast<size_t>(end - digits));
}

namespace {

using Wide = unsigned __int128;

// 10^n for 0 ≤ n ≤ 21.
constexpr std::array<Wide, 22> kPowersOfTen = [] {
  std::array<Wide, 22> p{};
  p[0] = 1;
  for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

// Writes the decimal digits of q < 10^17 at `out`; returns their end. The low eight digits are
// written in 32-bit steps, which cost less than 64-bit ones.
char* WriteDecimal(char* out, uint64_t q) {
  if (q < 100000000) return std::to_chars(out, out + 8, static_cast<uint32_t>(q)).ptr;
  char* end = std::to_chars(out, out + 10, static_cast<uint32_t>(q / 100000000)).ptr + 8;
  uint32_t low = static_cast<uint32_t>(q % 100000000);
  for (int i = 2; i <= 8; i += 2, low /= 100) WriteTwoDigits(end - i, low % 100);
  return end;
}

// `n` significant digits (no trailing zeros) with the decimal exponent of the first, laid out at
// `out` as "%.<precision>g" lays out its rounded digits; returns the end of the text.
char* WriteGeneralLayout(char* out, bool negative, const char* digits, int n, int exponent, int precision) {
  if (negative) *out++ = '-';
  if (exponent < -4 || exponent >= precision) {
    *out++ = digits[0];
    if (n > 1) {
      *out++ = '.';
      out = std::copy_n(digits + 1, n - 1, out);
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude >= 100) *out++ = static_cast<char>('0' + magnitude / 100);
    WriteTwoDigits(out, static_cast<unsigned>(magnitude % 100));
    return out + 2;
  }
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    out = std::fill_n(out, -exponent - 1, '0');
    return std::copy_n(digits, n, out);
  }
  if (n <= exponent + 1) return std::fill_n(std::copy_n(digits, n, out), exponent + 1 - n, '0');
  out = std::copy_n(digits, exponent + 1, out);
  *out++ = '.';
  return std::copy_n(digits + exponent + 1, n - exponent - 1, out);
}

// "%.<precision>g" of 1e-4 ≤ |v| < 1e15 (the values of tables, mostly) in integer arithmetic:
// with |v| = m / 2^a (m below 2^53, 3 ≤ a ≤ 67) and E the decimal exponent of its first digit,
// the `precision` leading digits are m · 10^s / 2^a for s = precision - 1 - E ≥ 0, rounded half
// to even on the exact remainder as printf rounds; m · 10^s stays below 2^128. False for other
// values, and where s would be negative.
bool AppendExactDigits(std::string& out, double v, int precision) {
  const double magnitude = std::fabs(v);
  if (precision < 1 || precision > 17 || !(magnitude >= 1e-4 && magnitude < 1e15)) return false;
  // A normal double's bits: 52 fraction bits below the implicit 1, the exponent biased by 1023.
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);
  const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int binaryExponent = static_cast<int>(bits >> 52) - 1022;  // 2^(b-1) ≤ |v| < 2^b
  const int a = 53 - binaryExponent;
  const Wide fractionMask = (Wide{1} << a) - 1;
  const uint64_t low = static_cast<uint64_t>(kPowersOfTen[static_cast<size_t>(precision - 1)]);
  // E is floor((b - 1) · log10 2) or one more.
  int exponent = ((binaryExponent - 1) * 78913) >> 18;
  if (precision - 1 - exponent < 0) return false;
  Wide scaled = Wide{m} * kPowersOfTen[static_cast<size_t>(precision - 1 - exponent)];
  if ((scaled >> a) >= low * 10) {
    ++exponent;
    if (precision - 1 - exponent < 0) return false;
    scaled = Wide{m} * kPowersOfTen[static_cast<size_t>(precision - 1 - exponent)];
  }
  uint64_t q = static_cast<uint64_t>(scaled >> a);
  const Wide twice = (scaled & fractionMask) << 1;
  const Wide half = Wide{1} << a;
  if (twice > half || (twice == half && (q & 1) != 0)) ++q;
  if (q == low * 10) {  // rounded up to the next power of ten
    q = low;
    ++exponent;
  }
  char digits[24];
  int n = static_cast<int>(WriteDecimal(digits, q) - digits);
  while (n > 1 && digits[n - 1] == '0') --n;
  char text[48];
  out.append(text, static_cast<size_t>(WriteGeneralLayout(text, v < 0, digits, n, exponent, precision) - text));
  return true;
}

}  // namespace

// When the decimal r/100 reads back as v, the exact value of v lies within half a unit in the
// last place of it, far closer than half a step of 15 significant digits, so printf rounds v to
// that decimal and prints it without trailing zeros.
char* WriteHundredths(char* out, double v) {
  constexpr double kLimit = 1e13;
  if (!(std::fabs(v) < kLimit) || v == 0) return nullptr;
  // Any rounding will do here: the test below decides.
  const int64_t r = static_cast<int64_t>(v * 100 + (v < 0 ? -0.5 : 0.5));
  if (static_cast<double>(r) / 100 != v) return nullptr;
  const uint64_t cents = static_cast<uint64_t>(r < 0 ? -r : r);
  if (v < 0) *out++ = '-';
  const uint64_t whole = cents / 100;
  // 32-bit steps where the value allows them, as in AppendPadded.
  out = whole <= UINT32_MAX ? std::to_chars(out, out + 16, static_cast<uint32_t>(whole)).ptr
                            : std::to_chars(out, out + 16, whole).ptr;
  const unsigned fraction = static_cast<unsigned>(cents - whole * 100);
  if (fraction != 0) {
    *out++ = '.';
    *out++ = static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) *out++ = static_cast<char>('0' + fraction % 10);
  }
  return out;
}

void AppendGeneral(std::string& out, double v, int precision) {
  char text[kHundredthsChars];
  if (precision == 15) {
    if (char* end = WriteHundredths(text, v)) {
      out.append(text, static_cast<size_t>(end - text));
      return;
    }
  }
  if (AppendExactDigits(out, v, precision)) return;
  char buf[48];
  const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision).ptr;
  out.append(buf, static_cast<size_t>(end - buf));
}

void AppendHex(std::string& out, const uint8_t* p, size_t n) {
  char text[64];
  while (n > 0) {
    const size_t take = std::min(n, sizeof text / 2);
    for (size_t i = 0; i < take; ++i) WriteHexByte(text + 2 * i, p[i]);
    out.append(text, 2 * take);
    p += take;
    n -= take;
  }
}

void AppendHex64(std::string& out, uint64_t v) {
  char text[16];
  for (int i = 0; i < 8; ++i) WriteHexByte(text + 2 * i, static_cast<uint8_t>(v >> (56 - 8 * i)));
  out.append(text, sizeof text);
}

}  // namespace engine
