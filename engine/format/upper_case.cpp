#include "format/upper_case.h"

#include <map>
#include <mutex>
#include <string>

#include "format/code_page.h"

namespace engine {

namespace {

// Upper case of a Unicode letter for the scripts of the single-byte code pages (Latin, Greek,
// Cyrillic); other characters map to themselves.
uint32_t UpperCodePoint(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  const bool pairedEvenOdd = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  const bool pairedOddEven = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if (pairedEvenOdd && (c & 1)) return c - 1;
  if (pairedOddEven && !(c & 1)) return c - 1;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

std::string Utf8Of(uint32_t c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    s.push_back(static_cast<char>(0xC0 | (c >> 6)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    s.push_back(static_cast<char>(0xE0 | (c >> 12)));
    s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return s;
}

// Code point of a one-character UTF-8 text of at most three bytes, or 0.
uint32_t CodePointOf(const std::string& u) {
  const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(u[i])); };
  if (u.size() == 1 && b(0) < 0x80) return b(0);
  if (u.size() == 2 && (b(0) & 0xE0) == 0xC0) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
  if (u.size() == 3 && (b(0) & 0xF0) == 0xE0) return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  return 0;
}

}  // namespace

const std::array<uint8_t, 256>& UpperCaseTable(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::array<uint8_t, 256>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(codePage);
  if (it != tables.end()) return it->second;
  std::array<uint8_t, 256> t;
  const CodePage& cp = CodePage::Get(codePage);
  for (int b = 0; b < 256; ++b) {
    t[b] = static_cast<uint8_t>(b);
    if (b >= 'a' && b <= 'z') t[b] = static_cast<uint8_t>(b - 0x20);
    if (b < 0x80 || cp.Number() == 936) continue;
    const uint32_t c = CodePointOf(cp.ToUtf8(std::string(1, static_cast<char>(b))));
    const uint32_t upper = UpperCodePoint(c);
    std::string back;
    if (c != 0 && upper != c && cp.FromUtf8(Utf8Of(upper), &back) && back.size() == 1)
      t[b] = static_cast<uint8_t>(back[0]);
  }
  return tables.emplace(codePage, t).first->second;
}

}  // namespace engine
