#include "format/record_format.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "format/code_page.h"
#include "format/table_header.h"
#include "format/value_codec.h"

namespace engine {

namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 0x0F]);
  }
  return s;
}

std::string FormatDouble15(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

std::string FormatClock(int64_t ms) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
  return buf;
}

}  // namespace

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

std::string FormatShortDate(int32_t dayNumber, const std::string& pattern) {
  int y, m, d;
  CivilFromDayNumber(dayNumber, &y, &m, &d);
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    size_t run = 1;
    while (i + run < pattern.size() &&
           std::tolower(static_cast<unsigned char>(pattern[i + run])) == c)
      ++run;
    char buf[16];
    if (c == 'd') {
      std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", d);
      out += buf;
    } else if (c == 'm') {
      std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", m);
      out += buf;
    } else if (c == 'y') {
      if (run <= 2)
        std::snprintf(buf, sizeof buf, "%02d", ((y % 100) + 100) % 100);
      else
        std::snprintf(buf, sizeof buf, "%04d", y);
      out += buf;
    } else {
      out.append(pattern, i, run);
    }
    i += run;
  }
  return out;
}

std::string DisplayText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage,
                        const std::string& datePattern) {
  const uint8_t* p = record + f.offset;
  if (IsBlobType(f.type) || IsNullValue(f.type, p, f.bytes)) return "";
  switch (f.type) {
    case PxType::Alpha:
      return codePage.ToUtf8(DecodeAlphaValue(p, f.bytes));
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      return std::to_string(DecodeIntValue(p, f.bytes));
    case PxType::Number: case PxType::Money:
      return FormatDouble15(DecodeDoubleValue(p));
    case PxType::Bcd: {
      const auto text = DecodeBcdValue(p, f.sizeByte);
      return text ? *text : "?";
    }
    case PxType::Logical:
      return DecodeLogicalValue(p) ? "True" : "False";
    case PxType::Date:
      return FormatShortDate(DecodeIntValue(p, f.bytes), datePattern);
    case PxType::Time:
      return FormatClock(DecodeIntValue(p, f.bytes));
    case PxType::Timestamp: {
      const auto ms = TimestampMilliseconds(DecodeDoubleValue(p));
      if (!ms) return "?";
      const int64_t day = *ms >= 0 ? *ms / kMsPerDay : -((-*ms + kMsPerDay - 1) / kMsPerDay);
      return FormatShortDate(static_cast<int32_t>(day), datePattern) + " " +
             FormatClock(*ms - day * kMsPerDay);
    }
    case PxType::Bytes:
      return Hex(p, f.bytes);
    default:
      return "";
  }
}

std::string DumpText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage) {
  const uint8_t* p = record + f.offset;
  if (IsBlobType(f.type) || IsNullValue(f.type, p, f.bytes)) return "";
  switch (f.type) {
    case PxType::Alpha:
      return EscapeDumpText(codePage.ToUtf8(DecodeAlphaValue(p, f.bytes)));
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
      return std::to_string(DecodeIntValue(p, f.bytes));
    case PxType::Number: case PxType::Money:
      return FormatDouble17(DecodeDoubleValue(p));
    case PxType::Bcd: {
      const auto text = DecodeBcdValue(p, f.sizeByte);
      return text ? *text : "?";
    }
    case PxType::Logical:
      return DecodeLogicalValue(p) ? "true" : "false";
    case PxType::Date:
      return FormatIsoDate(DecodeIntValue(p, f.bytes));
    case PxType::Time:
      return FormatIsoTime(DecodeIntValue(p, f.bytes));
    case PxType::Timestamp:
      return FormatIsoTimestamp(DecodeDoubleValue(p)).value_or("?");
    case PxType::Bytes:
      return Hex(p, f.bytes);
    default:
      return "";
  }
}

std::string EscapeDumpText(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string Fnv1a64Hex(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

}  // namespace engine
