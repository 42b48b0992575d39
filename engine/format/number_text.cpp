#include "format/number_text.h"

#include <charconv>

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

void AppendGeneral(std::string& out, double v, int precision) {
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
