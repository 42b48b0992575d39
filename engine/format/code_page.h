#pragma once
// Text conversion between a table's code page and UTF-8. Level-3 tables are always CP437;
// level-4+ tables name their code page in the header (437, 850, 852, 866, 936, 1250..1258;
// anything else counts as 437). Single-byte pages convert byte by byte (undefined bytes become
// U+FFFD, no composition of combining marks); 936 converts as a multi-byte stream.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine {

struct TableHeader;

class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual int Number() const = 0;
  virtual std::string ToUtf8(const std::string& bytes) const = 0;
  // Appends the UTF-8 text of `n` bytes at `bytes` to `out`, as ToUtf8 gives it.
  virtual void AppendUtf8(std::string& out, const char* bytes, size_t n) const { out += ToUtf8(std::string(bytes, n)); }
  // Converts UTF-8 text to the code page; false when a character has no representation.
  virtual bool FromUtf8(const std::string& utf8, std::string* bytes) const = 0;
  // Bytes of the text at `p` (those before the first 0, at most `n`); *plain tells whether each
  // of them is plain: a byte (not 0) that reads as itself in UTF-8 wherever it stands (ASCII,
  // mostly), so that a text of such bytes needs no conversion.
  size_t TextLength(const uint8_t* p, size_t n, bool* plain) const;

  // Shared instance for a code page number (unknown numbers give 437).
  static const CodePage& Get(int number);
  static const CodePage& ForHeader(const TableHeader& header);

 protected:
  // Call once plain_ is set.
  void NotePlainAscii();
  std::array<bool, 256> plain_{};
  bool asciiPlain_ = false;  // every byte from 1 to 0x7F is plain
};

}  // namespace engine
