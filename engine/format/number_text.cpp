#include "format/number_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>

namespace engine {

void AppendPadded(std::string& out, int64_t v, int width) {
  char digits[24];
  const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const int count = static_cast<int>(end - digits);
  if (v < 0) {
    out.push_back('-');
    --width;
  }
  if (count < width) out.append(static_cast<size_t>(width - count), '0');
  out.append(digits, end);
}

namespace {

using Wide = unsigned __int128;

// 10^n for 0 ≤ n ≤ 21.
Wide PowerOfTen(int n) {
  static const auto powers = [] {
    std::array<Wide, 22> p{};
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
  }();
  return powers[static_cast<size_t>(n)];
}

// `n` significant digits (no trailing zeros) with the decimal exponent of the first, laid out as
// "%.<precision>g" lays out its rounded digits.
void AppendGeneralLayout(std::string& out, bool negative, const char* digits, int n, int exponent, int precision) {
  if (negative) out.push_back('-');
  if (exponent < -4 || exponent >= precision) {
    out.push_back(digits[0]);
    if (n > 1) {
      out.push_back('.');
      out.append(digits + 1, static_cast<size_t>(n - 1));
    }
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    AppendPadded(out, exponent < 0 ? -exponent : exponent, 2);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits, static_cast<size_t>(n));
  } else if (n <= exponent + 1) {
    out.append(digits, static_cast<size_t>(n));
    out.append(static_cast<size_t>(exponent + 1 - n), '0');
  } else {
    out.append(digits, static_cast<size_t>(exponent + 1));
    out.push_back('.');
    out.append(digits + exponent + 1, static_cast<size_t>(n - exponent - 1));
  }
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
  const Wide low = PowerOfTen(precision - 1);
  // E is floor((b - 1) · log10 2) or one more.
  int exponent = ((binaryExponent - 1) * 78913) >> 18;
  if (precision - 1 - exponent < 0) return false;
  Wide scaled = Wide{m} * PowerOfTen(precision - 1 - exponent);
  if ((scaled >> a) >= low * 10) {
    ++exponent;
    if (precision - 1 - exponent < 0) return false;
    scaled = Wide{m} * PowerOfTen(precision - 1 - exponent);
  }
  Wide q = scaled >> a;
  const Wide twice = (scaled & fractionMask) << 1;
  const Wide half = Wide{1} << a;
  if (twice > half || (twice == half && (q & 1) != 0)) ++q;
  if (q == low * 10) {  // rounded up to the next power of ten
    q = low;
    ++exponent;
  }
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(q)).ptr;
  int n = static_cast<int>(end - digits);
  while (n > 1 && digits[n - 1] == '0') --n;
  AppendGeneralLayout(out, v < 0, digits, n, exponent, precision);
  return true;
}

}  // namespace

void AppendGeneral(std::string& out, double v, int precision) {
  if (AppendExactDigits(out, v, precision)) return;
  char buf[48];
  const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision).ptr;
  out.append(buf, end);
}

void AppendHex(std::string& out, const uint8_t* p, size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const size_t start = out.size();
  out.resize(start + 2 * n);
  char* q = out.data() + start;
  for (size_t i = 0; i < n; ++i) {
    *q++ = kDigits[p[i] >> 4];
    *q++ = kDigits[p[i] & 0x0F];
  }
}

}  // namespace engine
