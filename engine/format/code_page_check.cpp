#include "format/code_page_check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "format/code_page.h"

namespace engine {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // what a byte the page does not define decodes to
constexpr int kMultiBytePage = 936;

}  // namespace

CodePageCheck::CodePageCheck(const CodePage& codePage)
    : codePage_(codePage), multiByte_(codePage.Number() == kMultiBytePage) {
  for (int b = 0; b < 256; ++b)
    defined_[static_cast<size_t>(b)] =
        b < 0x80 || codePage.ToUtf8(std::string(1, static_cast<char>(b))) != kReplacement;
  anyText_ = !multiByte_ && std::find(defined_.begin(), defined_.end(), false) == defined_.end();
}

bool CodePageCheck::Fits(const char* bytes, size_t n) const {
  // Text is mostly ASCII: eight bytes at a time are passed over while none has its high bit.
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  size_t i = 0;
  for (uint64_t word = 0; i + sizeof word <= n; i += sizeof word) {
    std::memcpy(&word, bytes + i, sizeof word);
    if (word & kHighBits) break;
  }
  bool ascii = true;
  for (; i < n; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) continue;
    ascii = false;
    if (!multiByte_ && !defined_[b]) return false;
  }
  if (ascii || !multiByte_) return true;
  return codePage_.ToUtf8(std::string(bytes, n)).find(kReplacement) == std::string::npos;
}

}  // namespace engine
