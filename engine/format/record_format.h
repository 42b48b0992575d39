#pragma once
// Where each field lies in a record and how its bytes read as text. Field offsets are the
// running sum of the fields' record bytes in field order, without padding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/field_type.h"

namespace engine {

class CodePage;
struct TableHeader;

struct FieldLayout {
  PxType type = PxType::Alpha;
  uint8_t sizeByte = 0;  // header size byte (BCD: decimal places)
  size_t offset = 0;     // from the start of the record
  size_t bytes = 0;      // bytes in the record
};

std::vector<FieldLayout> LayoutFields(const TableHeader& header);

// Whether any field of `layout` keeps its value in the .MB (memo, binary, graphic ...).
bool HasBlobFields(const std::vector<FieldLayout>& layout);

// Type token of the dump format: A<n>, N, $, #<n>, S, I, +, L, D, T, @, M<n> ... Y<n>.
std::string TypeToken(const FieldLayout& f);

// A short date pattern of d/dd, m/mm, yy/yyyy and separators (letters case-insensitive),
// parsed once for the many dates written after it, e.g. "dd.mm.yyyy" → "04.05.1996".
class ShortDatePattern {
 public:
  // Date texts of at most this many characters are built on the stack.
  static constexpr size_t kStackChars = 64;
  explicit ShortDatePattern(const std::string& pattern);
  const std::string& Text() const { return text_; }
  // Characters of a date text at most.
  size_t MaxChars() const { return maxChars_; }
  // Writes the date text of a day number at `out`, which has room for MaxChars() characters;
  // returns the end of the text.
  char* Write(char* out, int32_t dayNumber) const;
  // Appends the date text of a day number.
  void Append(std::string& out, int32_t dayNumber) const;

 private:
  struct Part {
    char letter;  // 'd', 'm', 'y' or 0 for literal text
    size_t run;   // characters in the run
    size_t at;    // where the run starts in the pattern
  };
  // Characters of a day, month or year part at most: a year of 32 bits with its sign.
  static constexpr size_t kMaxDatePartChars = 11;
  std::string text_;
  std::vector<Part> parts_;
  size_t maxChars_ = 0;
  // A pattern whose parts all have fixed widths for the years 0 to 9999 ("dd.mm.yyyy"): the text
  // with the literal parts in place, and where each date part goes (`at` counted in the text).
  bool fixed_ = true;
  std::string fixedText_;
  std::vector<Part> fixedParts_;
  // A fixed pattern of one day, one month and one year part in at most kSimpleChars characters:
  // its text and where the parts go, written without walking the parts.
  static constexpr size_t kSimpleChars = 16;
  struct Simple {
    bool on = false;
    char text[kSimpleChars] = {};
    size_t size = 0;
    size_t day = 0, month = 0, year = 0;
    bool fourDigitYear = false;
  } simple_;
};

// Short date text for a day number after a pattern (see ShortDatePattern).
std::string FormatShortDate(int32_t dayNumber, const std::string& pattern);

// Appends the text of the alpha value of `n` bytes at `p` in UTF-8: its bytes up to the first 0.
void AppendAlpha(std::string& out, const uint8_t* p, size_t n, const CodePage& codePage);

// Display text of a non-blob value (see TField::AsString); empty for null. BCD values that are
// not decimals and timestamps that are not a day and time read as "?".
std::string DisplayText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage,
                        const ShortDatePattern& datePattern);
std::string DisplayText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage,
                        const std::string& datePattern);

// Dump text of a non-blob value in the normalized dump format (ISO dates, %.17g numbers,
// escaped alpha, hex bytes); empty for null, "?" where DisplayText gives it.
std::string DumpText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage);
// The same appended to `out`.
void AppendDumpText(std::string& out, const FieldLayout& f, const uint8_t* record, const CodePage& codePage);

// Escapes `\`, TAB, LF and CR as the dump format requires.
std::string EscapeDumpText(const std::string& utf8);

// FNV-1a 64 of the bytes as 16 lowercase hex digits.
std::string Fnv1a64Hex(const std::string& bytes);
void AppendFnv1a64Hex(std::string& out, const std::string& bytes);

}  // namespace engine
