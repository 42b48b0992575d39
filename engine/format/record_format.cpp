#include "format/record_format.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "format/code_page.h"
#include "format/inline_text.h"
#include "format/number_text.h"
#include "format/table_header.h"
#include "format/value_codec.h"
#include "io/coding.h"

namespace engine {

namespace {

// Whether the dump escapes the character: `\`, TAB, LF and CR.
bool IsEscaped(char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; }

// Whether one of the eight characters of `word` may be one that the dump escapes: never false
// when one is (a byte equal to c makes (x - 1) & ~x set its high bit, x being the byte xor c).
bool MayHoldEscaped(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  auto zeroByte = [](uint64_t x) { return (x - kOnes) & ~x & kHighBits; };
  return (zeroByte(word ^ (kOnes * '\\')) | zeroByte(word ^ (kOnes * '\t')) | zeroByte(word ^ (kOnes * '\n')) |
          zeroByte(word ^ (kOnes * '\r'))) != 0;
}

// Whether the `length` bytes at `p`, in a field of `n` bytes, hold none of the characters that the
// dump escapes; false may also mean that one was not ruled out. Eight bytes at a time: a last
// part word is read whole from the field, its bytes after the text cleared.
bool HoldsNoEscaped(const uint8_t* p, size_t length, size_t n) {
  size_t at = 0;
  uint64_t word;
  for (; at + 8 <= length; at += 8) {
    std::memcpy(&word, p + at, 8);
    if (MayHoldEscaped(word)) return false;
  }
  if (at == length) return true;
  if (std::endian::native == std::endian::little && at + 8 <= n) {
    std::memcpy(&word, p + at, 8);
    word &= (uint64_t{1} << (8 * (length - at))) - 1;  // cleared bytes are none of them
    return !MayHoldEscaped(word);
  }
  for (; at < length; ++at)
    if (IsEscaped(static_cast<char>(p[at]))) return false;
  return true;
}

// Escapes the characters that the dump escapes in `out` from `start` on.
void EscapeFrom(std::string& out, size_t start) {
  size_t first = start;
  // Eight characters at a time up to the first word that may hold one, then one by one.
  for (uint64_t word; first + 8 <= out.size(); first += 8) {
    std::memcpy(&word, out.data() + first, 8);
    if (MayHoldEscaped(word)) break;
  }
  while (first < out.size() && !IsEscaped(out[first])) ++first;
  if (first == out.size()) return;
  const std::string tail = out.substr(first);
  out.resize(first);
  for (const char c : tail) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
}

void AppendClock(std::string& out, int64_t ms) {
  AppendPadded(out, ms / 3600000, 2);
  out.push_back(':');
  AppendPadded(out, ms / 60000 % 60, 2);
  out.push_back(':');
  AppendPadded(out, ms / 1000 % 60, 2);
}

// Writes 0 ≤ v < 10^width as exactly `width` digits.
char* WriteDigits(char* out, int v, int width) {
  for (int i = width - 1; i >= 0; --i, v /= 10) out[i] = static_cast<char>('0' + v % 10);
  return out + width;
}

// Writes a year before 0 or after 9999 as "%04d" does.
char* WriteWideYear(char* out, int y) {
  std::string year;
  AppendPadded(year, y, 4);
  return std::copy(year.begin(), year.end(), out);
}

// The display texts that are not made inline, each a function of its own so that its string is
// made where the caller returns it.
std::string ConvertedText(const uint8_t* p, size_t length, const CodePage& codePage) {
  std::string out;
  codePage.AppendUtf8(out, reinterpret_cast<const char*>(p), length);
  return out;
}

// Digits written straight into the string, not copied there: a copy would read them back in
// words right after they were written in bytes, and wait for those writes.
std::string IntegerText(int32_t v) {
  static_assert(kInlineChars >= 11, "every 32-bit number fits");
  std::string out(kInlineChars, '\0');
  out.erase(static_cast<size_t>(std::to_chars(out.data(), out.data() + kInlineChars, v).ptr - out.data()));
  return out;
}

std::string NumberText(double v) {
  constexpr double kInlineHundredths = 1e11;  // amounts below it fit kInlineChars
  std::string out(kInlineChars, '\0');
  if (char* end = std::fabs(v) < kInlineHundredths ? WriteHundredths(out.data(), v) : nullptr) {
    out.erase(static_cast<size_t>(end - out.data()));
  } else {
    out.clear();
    AppendGeneral(out, v, 15);
  }
  return out;
}

std::string DateText(int32_t day, const ShortDatePattern& datePattern) {
  std::string out;
  datePattern.Append(out, day);
  return out;
}

std::string ClockText(int64_t ms) {
  std::string out;
  AppendClock(out, ms);
  return out;
}

std::string TimestampText(double value, const ShortDatePattern& datePattern) {
  const auto ms = TimestampMilliseconds(value);
  if (!ms) return "?";
  const int64_t day = *ms >= 0 ? *ms / kMsPerDay : -((-*ms + kMsPerDay - 1) / kMsPerDay);
  std::string out;
  datePattern.Append(out, static_cast<int32_t>(day));
  out.push_back(' ');
  AppendClock(out, *ms - day * kMsPerDay);
  return out;
}

std::string HexText(const uint8_t* p, size_t n) {
  std::string out;
  AppendHex(out, p, n);
  return out;
}

// Display text of a value of the rarer types, not null.
std::string OtherText(const FieldLayout& f, const uint8_t* p, const ShortDatePattern& datePattern) {
  switch (f.type) {
    case PxType::Bcd:
      return DecodeBcdValue(p, f.sizeByte).value_or("?");
    case PxType::Logical:
      return DecodeLogicalValue(p) ? "True" : "False";
    case PxType::Time:
      return ClockText(DecodeIntValue(p, f.bytes));
    case PxType::Timestamp:
      return TimestampText(DecodeDoubleValue(p), datePattern);
    case PxType::Bytes:
      return HexText(p, f.bytes);
    default:
      return std::string();
  }
}

// Appends the text of the `length` bytes of an alpha value at `p` that TextLength measured, with
// whether they are `plain`.
void AppendMeasuredAlpha(std::string& out, const uint8_t* p, size_t length, bool plain, const CodePage& codePage) {
  if (plain)
    out.append(reinterpret_cast<const char*>(p), length);
  else
    codePage.AppendUtf8(out, reinterpret_cast<const char*>(p), length);
}

// Appends the dump text of an alpha value of `n` bytes at `p`.
void AppendDumpAlpha(std::string& out, const uint8_t* p, size_t n, const CodePage& codePage) {
  bool plain = false;
  const size_t length = codePage.TextLength(p, n, &plain);
  if (plain && HoldsNoEscaped(p, length, n)) {
    out.append(reinterpret_cast<const char*>(p), length);
    return;
  }
  const size_t start = out.size();
  AppendMeasuredAlpha(out, p, length, plain, codePage);
  EscapeFrom(out, start);
}

}  // namespace

void AppendAlpha(std::string& out, const uint8_t* p, size_t n, const CodePage& codePage) {
  bool plain = false;
  const size_t length = codePage.TextLength(p, n, &plain);
  AppendMeasuredAlpha(out, p, length, plain, codePage);
}

std::vector<FieldLayout> LayoutFields(const TableHeader& header) {
  std::vector<FieldLayout> out;
  out.reserve(header.fields.size());
  size_t offset = 0;
  for (const auto& f : header.fields) {
    FieldLayout l;
    l.type = f.type;
    l.sizeByte = f.size;
    l.offset = offset;
    l.bytes = f.RecordBytes();
    offset += l.bytes;
    out.push_back(l);
  }
  return out;
}

bool HasBlobFields(const std::vector<FieldLayout>& layout) {
  return std::any_of(layout.begin(), layout.end(), [](const FieldLayout& f) { return IsBlobType(f.type); });
}

std::string TypeToken(const FieldLayout& f) {
  const std::string letter(1, PxTypeLetter(f.type));
  switch (f.type) {
    case PxType::Alpha: case PxType::Bcd: case PxType::Memo: case PxType::Blob:
    case PxType::FmtMemo: case PxType::Ole: case PxType::Graphic: case PxType::Bytes:
      return letter + std::to_string(f.sizeByte);
    default:
      return letter;
  }
}

ShortDatePattern::ShortDatePattern(const std::string& pattern) : text_(pattern) {
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    size_t run = 1;
    while (i + run < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + run])) == c) ++run;
    const bool letter = c == 'd' || c == 'm' || c == 'y';
    parts_.push_back({letter ? c : '\0', run, i});
    maxChars_ += letter ? kMaxDatePartChars : run;
    if (letter) {
      const size_t width = c == 'y' ? (run <= 2 ? 2 : 4) : 2;
      fixed_ = fixed_ && (c == 'y' || run >= 2);
      fixedParts_.push_back({c, width, fixedText_.size()});
      fixedText_.append(width, '0');
    } else {
      fixedText_ += pattern.substr(i, run);
    }
    i += run;
  }
  auto count = [&](char letter) {
    return std::count_if(fixedParts_.begin(), fixedParts_.end(), [&](const Part& part) { return part.letter == letter; });
  };
  simple_.on = fixed_ && fixedText_.size() <= kSimpleChars && count('d') == 1 && count('m') == 1 && count('y') == 1;
  if (!simple_.on) return;
  std::copy(fixedText_.begin(), fixedText_.end(), simple_.text);
  simple_.size = fixedText_.size();
  for (const Part& part : fixedParts_) {
    if (part.letter == 'd') simple_.day = part.at;
    if (part.letter == 'm') simple_.month = part.at;
    if (part.letter == 'y') {
      simple_.year = part.at;
      simple_.fourDigitYear = part.run == 4;
    }
  }
}

char* ShortDatePattern::Write(char* out, int32_t dayNumber) const {
  int y, m, d;
  CivilFromDayNumber(dayNumber, &y, &m, &d);
  // Three letter parts make MaxChars() at least 3 · kMaxDatePartChars, room for the whole text.
  static_assert(3 * kMaxDatePartChars >= kSimpleChars);
  if (simple_.on && y >= 0 && y <= 9999) {
    std::memcpy(out, simple_.text, kSimpleChars);
    WriteTwoDigits(out + simple_.day, d);
    WriteTwoDigits(out + simple_.month, m);
    char* year = out + simple_.year;
    if (simple_.fourDigitYear) WriteTwoDigits(year, y / 100), year += 2;
    WriteTwoDigits(year, y % 100);
    return out + simple_.size;
  }
  if (fixed_ && y >= 0 && y <= 9999) {
    std::memcpy(out, fixedText_.data(), fixedText_.size());
    for (const Part& part : fixedParts_) {
      char* at = out + part.at;
      switch (part.letter) {
        case 'd': WriteTwoDigits(at, d); break;
        case 'm': WriteTwoDigits(at, m); break;
        default:
          if (part.run == 4) WriteTwoDigits(at, y / 100), at += 2;
          WriteTwoDigits(at, y % 100);
      }
    }
    return out + fixedText_.size();
  }
  for (const Part& part : parts_) {
    switch (part.letter) {
      case 'd': out = WriteDigits(out, d, part.run >= 2 || d >= 10 ? 2 : 1); break;
      case 'm': out = WriteDigits(out, m, part.run >= 2 || m >= 10 ? 2 : 1); break;
      case 'y':
        if (part.run <= 2)
          out = WriteDigits(out, ((y % 100) + 100) % 100, 2);
        else if (y >= 0 && y <= 9999)
          out = WriteDigits(out, y, 4);
        else
          out = WriteWideYear(out, y);
        break;
      default: out = std::copy_n(text_.data() + part.at, part.run, out);
    }
  }
  return out;
}

void ShortDatePattern::Append(std::string& out, int32_t dayNumber) const {
  char stack[kStackChars];
  if (maxChars_ <= kStackChars) {
    out.append(stack, static_cast<size_t>(Write(stack, dayNumber) - stack));
    return;
  }
  std::string text(maxChars_, '\0');
  text.resize(static_cast<size_t>(Write(text.data(), dayNumber) - text.data()));
  out += text;
}

std::string FormatShortDate(int32_t dayNumber, const std::string& pattern) {
  std::string out;
  ShortDatePattern(pattern).Append(out, dayNumber);
  return out;
}

std::string DisplayText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage,
                        const std::string& datePattern) {
  return DisplayText(f, record, codePage, ShortDatePattern(datePattern));
}

std::string DisplayText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage,
                        const ShortDatePattern& datePattern) {
  const uint8_t* p = record + f.offset;
  // Every text is made in one piece, in the string returned: the common ones held inline.
  switch (f.type) {
    case PxType::Alpha: {
      // A null value is an empty text.
      bool plain = false;
      const size_t length = codePage.TextLength(p, f.bytes, &plain);
      if (plain) return InlineString(reinterpret_cast<const char*>(p), length);
      return ConvertedText(p, length, codePage);
    }
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      return IsNullValue(f.type, p, f.bytes) ? std::string() : IntegerText(DecodeIntValue(p, f.bytes));
    case PxType::Number: case PxType::Money:
      return IsNullValue(f.type, p, f.bytes) ? std::string() : NumberText(DecodeDoubleValue(p));
    case PxType::Date: {
      if (IsNullValue(f.type, p, f.bytes)) return std::string();
      const int32_t day = DecodeIntValue(p, f.bytes);
      char text[ShortDatePattern::kStackChars];
      if (datePattern.MaxChars() <= sizeof text)
        return InlineString(text, static_cast<size_t>(datePattern.Write(text, day) - text));
      return DateText(day, datePattern);
    }
    default:
      return IsBlobType(f.type) || IsNullValue(f.type, p, f.bytes) ? std::string() : OtherText(f, p, datePattern);
  }
}

void AppendDumpText(std::string& out, const FieldLayout& f, const uint8_t* record, const CodePage& codePage) {
  const uint8_t* p = record + f.offset;
  if (IsBlobType(f.type) || IsNullValue(f.type, p, f.bytes)) return;
  switch (f.type) {
    case PxType::Alpha:
      AppendDumpAlpha(out, p, f.bytes, codePage);
      break;
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      AppendPadded(out, DecodeIntValue(p, f.bytes), 0);
      break;
    case PxType::Number: case PxType::Money:
      AppendGeneral(out, DecodeDoubleValue(p), 17);
      break;
    case PxType::Bcd:
      out += DecodeBcdValue(p, f.sizeByte).value_or("?");
      break;
    case PxType::Logical:
      out += DecodeLogicalValue(p) ? "true" : "false";
      break;
    case PxType::Date:
      AppendIsoDate(out, DecodeIntValue(p, f.bytes));
      break;
    case PxType::Time:
      out += FormatIsoTime(DecodeIntValue(p, f.bytes));
      break;
    case PxType::Timestamp:
      out += FormatIsoTimestamp(DecodeDoubleValue(p)).value_or("?");
      break;
    case PxType::Bytes:
      AppendHex(out, p, f.bytes);
      break;
    default:
      break;
  }
}

std::string DumpText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage) {
  std::string out;
  AppendDumpText(out, f, record, codePage);
  return out;
}

std::string EscapeDumpText(const std::string& utf8) {
  std::string out = utf8;
  EscapeFrom(out, 0);
  return out;
}

void AppendFnv1a64Hex(std::string& out, const std::string& bytes) {
  AppendHex64(out, coding::Fnv1a64(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string Fnv1a64Hex(const std::string& bytes) {
  std::string out;
  AppendFnv1a64Hex(out, bytes);
  return out;
}

}  // namespace engine
