#include "format/code_page.h"

#include <iconv.h>

#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "format/table_header.h"

namespace engine {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

int Canonical(int number) {
  switch (number) {
    case 437: case 850: case 852: case 866: case 936:
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257:
    case 1258:
      return number;
    default:
      return 437;
  }
}

std::string IconvName(int number) {
  if (number == 437 || number == 850 || number == 852 || number == 866)
    return "IBM" + std::to_string(number);
  return "CP" + std::to_string(number);
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (Valid()) iconv_close(cd_);
  }
  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return cd_; }
  void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

// Converts one complete input; returns false when iconv refuses any of it.
bool ConvertWhole(Iconv& cv, const std::string& in, std::string* out) {
  cv.Reset();
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  std::array<char, 256> buf;
  while (true) {
    char* dst = buf.data();
    size_t dstLeft = buf.size();
    const size_t r = iconv(cv.Get(), srcLeft ? &src : nullptr, srcLeft ? &srcLeft : nullptr, &dst, &dstLeft);
    out->append(buf.data(), buf.size() - dstLeft);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      return false;
    }
    if (srcLeft == 0) {
      dst = buf.data();
      dstLeft = buf.size();
      iconv(cv.Get(), nullptr, nullptr, &dst, &dstLeft);
      out->append(buf.data(), buf.size() - dstLeft);
      return true;
    }
  }
}

class SingleByteCodePage : public CodePage {
 public:
  explicit SingleByteCodePage(int number) : number_(number) {
    Iconv cv("UTF-8", IconvName(number));
    for (int b = 0; b < 256; ++b) {
      std::string utf8;
      if (b == 0) {
        utf8.assign(1, '\0');
      } else if (!cv.Valid() || !ConvertWhole(cv, std::string(1, static_cast<char>(b)), &utf8) ||
                 utf8.empty()) {
        utf8 = kReplacement;
      }
      decode_[b] = utf8;
      plain_[b] = b != 0 && utf8.size() == 1 && static_cast<unsigned char>(utf8[0]) == b;
      if (utf8 != kReplacement) encode_.emplace(utf8, static_cast<char>(b));
    }
    NotePlainAscii();
  }
  int Number() const override { return number_; }
  std::string ToUtf8(const std::string& bytes) const override {
    std::string out;
    AppendUtf8(out, bytes.data(), bytes.size());
    return out;
  }
  // Runs of bytes that stand for themselves in UTF-8 (ASCII, mostly) are copied whole.
  void AppendUtf8(std::string& out, const char* bytes, size_t n) const override {
    size_t i = 0;
    while (i < n) {
      const size_t run = i;
      while (i < n && plain_[static_cast<unsigned char>(bytes[i])]) ++i;
      out.append(bytes + run, i - run);
      if (i < n) out += decode_[static_cast<unsigned char>(bytes[i++])];
    }
  }
  bool FromUtf8(const std::string& utf8, std::string* bytes) const override {
    bytes->clear();
    size_t i = 0;
    while (i < utf8.size()) {
      const unsigned char lead = static_cast<unsigned char>(utf8[i]);
      const size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      auto it = encode_.find(utf8.substr(i, len));
      if (it == encode_.end()) return false;
      bytes->push_back(it->second);
      i += len;
    }
    return true;
  }

 private:
  int number_;
  std::array<std::string, 256> decode_;
  std::unordered_map<std::string, char> encode_;
};

// Multi-byte code page (936): decoded as a stream; a byte that starts no valid sequence gives
// U+FFFD and decoding resumes at the next byte.
class MultiByteCodePage : public CodePage {
 public:
  explicit MultiByteCodePage(int number) : number_(number) {
    for (int b = 1; b < 0x80; ++b) plain_[b] = true;
    NotePlainAscii();
  }
  int Number() const override { return number_; }
  std::string ToUtf8(const std::string& bytes) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    size_t pos = 0;
    while (pos < bytes.size()) {
      // Longest valid prefix of length 1 or 2 from pos.
      std::string piece;
      if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
        out.push_back(bytes[pos++]);
        continue;
      }
      if (pos + 1 < bytes.size() && ConvertWhole(toUtf8_, bytes.substr(pos, 2), &piece) && !piece.empty()) {
        out += piece;
        pos += 2;
        continue;
      }
      if (ConvertWhole(toUtf8_, bytes.substr(pos, 1), &piece) && !piece.empty()) {
        out += piece;
      } else {
        out += kReplacement;
      }
      ++pos;
    }
    return out;
  }
  bool FromUtf8(const std::string& utf8, std::string* bytes) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return ConvertWhole(fromUtf8_, utf8, bytes);
  }

 private:
  int number_;
  mutable std::mutex mutex_;
  mutable Iconv toUtf8_{"UTF-8", IconvName(936)};
  mutable Iconv fromUtf8_{IconvName(936), "UTF-8"};
};

}  // namespace

void CodePage::NotePlainAscii() {
  asciiPlain_ = true;
  for (int b = 1; b < 0x80; ++b) asciiPlain_ = asciiPlain_ && plain_[b];
}

size_t CodePage::TextLength(const uint8_t* p, size_t n, bool* plain) const {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  size_t length = 0;
  // Eight bytes at a time where every byte below 0x80 is plain: the first 0 among them ends the
  // text, and a byte of 0x80 or above before it is not plain.
  if (asciiPlain_ && std::endian::native == std::endian::little) {
    for (; length + 8 <= n; length += 8) {
      uint64_t word;
      std::memcpy(&word, p + length, 8);
      const uint64_t zeros = (word - kOnes) & ~word & kHighBits;  // exact up to the first 0 byte
      const uint64_t before = zeros ? (zeros & (0 - zeros)) - 1 : ~uint64_t{0};  // bits below it
      if ((word & kHighBits & before) != 0) break;  // a byte to look up below
      if (zeros) {
        *plain = true;
        return length + static_cast<size_t>(std::countr_zero(zeros)) / 8;
      }
    }
  }
  bool all = true;
  for (; length < n && p[length] != 0; ++length) all = all && plain_[p[length]];
  *plain = all;
  return length;
}

const CodePage& CodePage::Get(int number) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<CodePage>> pages;
  const int canonical = Canonical(number);
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = pages[canonical];
  if (!slot) {
    if (canonical == 936)
      slot = std::make_unique<MultiByteCodePage>(canonical);
    else
      slot = std::make_unique<SingleByteCodePage>(canonical);
  }
  return *slot;
}

const CodePage& CodePage::ForHeader(const TableHeader& header) {
  if (!header.HasExtension()) return Get(437);
  return Get(header.codePage);
}

}  // namespace engine
