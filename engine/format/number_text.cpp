#include "format/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

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

// A number of at most kFewDecimals decimal places (amounts of money, mostly) as "%.<precision>g"
// writes it, for precision ≤ 15 and 1e-4 ≤ |v| < 1e15: the decimal r / 10^k with the fewest
// places k that reads back as `v`. A decimal of at most 15 digits that reads back as the double
// is what rounding the double to 15 or fewer places gives (see AppendShortestAsGeneral), and in
// that range "%g" writes it without exponent. False for other values.
constexpr int kFewDecimals = 6;

bool AppendFewDecimals(std::string& out, double v, int precision) {
  const double magnitude = std::fabs(v);
  if (precision > 15 || !(magnitude >= 1e-4 && magnitude < 1e15)) return false;
  static constexpr double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  for (int k = 0; k <= kFewDecimals; ++k) {
    const double scaled = std::nearbyint(magnitude * kScale[k]);
    if (scaled >= 1e15) return false;
    if (scaled / kScale[k] != magnitude) continue;
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(scaled)).ptr;
    const int n = static_cast<int>(end - digits);
    if (n > precision) return false;
    if (v < 0) out.push_back('-');
    if (n <= k) {
      out += "0.";
      out.append(static_cast<size_t>(k - n), '0');
      out.append(digits, static_cast<size_t>(n));
    } else {
      out.append(digits, static_cast<size_t>(n - k));
      if (k > 0) {
        out.push_back('.');
        out.append(end - k, static_cast<size_t>(k));
      }
    }
    return true;
  }
  return false;
}

// The shortest digits that read back as `v` laid out as "%.<precision>g" lays out its digits;
// false when they are more than `precision`. For a normal number (or zero) with at most 15 of
// them this is printf's text: the double lies closer to them than half a unit in their 15th
// place, so rounding it to `precision` ≤ 15 places gives them back. Subnormal numbers and
// precisions above 15 (where printf shows the binary value's further digits) take the long way.
bool AppendShortestAsGeneral(std::string& out, double v, int precision) {
  if (precision > 15 || !(v == 0.0 || std::fabs(v) >= std::numeric_limits<double>::min())) return false;
  char buf[32];
  const char* end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific).ptr;
  const char* p = buf;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[24];
  int n = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  if (n > precision || p == end) return false;
  int exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);
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
  return true;
}

}  // namespace

void AppendGeneral(std::string& out, double v, int precision) {
  if (AppendFewDecimals(out, v, precision) || AppendShortestAsGeneral(out, v, precision)) return;
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
