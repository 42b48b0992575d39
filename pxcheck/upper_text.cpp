#include "pxcheck/upper_text.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <array>
#include <cstdint>
#include <map>

#include "pxcheck/dump_text.h"

namespace pxcheck {

namespace {

// One conversion of a single character; false when iconv has no such character.
bool ConvertOne(iconv_t cd, const char* in, size_t n, char* out, size_t room, size_t* written) {
  char* src = const_cast<char*>(in);
  char* dst = out;
  size_t left = n;
  size_t free = room;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &left, &dst, &free) == static_cast<size_t>(-1) || left != 0) return false;
  *written = room - free;
  return true;
}

// Byte-to-byte upper-case map of a single-byte charset.
std::array<unsigned char, 256> UpperMap(const std::string& charset) {
  std::array<unsigned char, 256> map{};
  for (int b = 0; b < 256; ++b) map[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
  if (charset == "CP936") return map;
  const iconv_t decode = iconv_open("UTF-32LE", charset.c_str());
  const iconv_t encode = iconv_open(charset.c_str(), "UTF-32LE");
  const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (decode != reinterpret_cast<iconv_t>(-1) && encode != reinterpret_cast<iconv_t>(-1) && unicode) {
    for (int b = 0x80; b < 256; ++b) {
      const char in = static_cast<char>(b);
      char utf32[4];
      size_t n = 0;
      if (!ConvertOne(decode, &in, 1, utf32, sizeof utf32, &n) || n != 4) continue;
      const auto* u = reinterpret_cast<const unsigned char*>(utf32);
      const wint_t c = static_cast<wint_t>(u[0] | u[1] << 8 | u[2] << 16 | static_cast<uint32_t>(u[3]) << 24);
      const wint_t upper = towupper_l(c, unicode);
      if (upper == c) continue;
      const char back32[4] = {static_cast<char>(upper & 0xFF), static_cast<char>((upper >> 8) & 0xFF),
                              static_cast<char>((upper >> 16) & 0xFF), static_cast<char>((upper >> 24) & 0xFF)};
      char back[4];
      if (ConvertOne(encode, back32, 4, back, sizeof back, &n) && n == 1) map[b] = static_cast<unsigned char>(back[0]);
    }
  }
  if (unicode) freelocale(unicode);
  if (decode != reinterpret_cast<iconv_t>(-1)) iconv_close(decode);
  if (encode != reinterpret_cast<iconv_t>(-1)) iconv_close(encode);
  return map;
}

}  // namespace

std::string UpperText(const std::string& bytes, int codePage, bool level3) {
  static std::map<std::string, std::array<unsigned char, 256>> maps;
  const std::string charset = CharsetOf(codePage, level3);
  auto it = maps.find(charset);
  if (it == maps.end()) it = maps.emplace(charset, UpperMap(charset)).first;
  const std::array<unsigned char, 256>& map = it->second;
  std::string out = bytes;
  for (char& c : out) c = static_cast<char>(map[static_cast<unsigned char>(c)]);
  return out;
}

}  // namespace pxcheck
