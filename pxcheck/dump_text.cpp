#include "pxcheck/dump_text.h"

#include <iconv.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace pxcheck {

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string Escape(const std::string& utf8) {
  std::string out;
  for (const char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD


// Converts in[0..n) with `cd`; returns false when iconv refuses the bytes.
bool Convert(iconv_t cd, const char* in, size_t n, std::string* out, size_t* consumed) {
  char buffer[64];
  char* src = const_cast<char*>(in);
  size_t left = n;
  char* dst = buffer;
  size_t room = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const size_t rc = iconv(cd, &src, &left, &dst, &room);
  *consumed = n - left;
  out->append(buffer, sizeof buffer - room);
  return rc != static_cast<size_t>(-1) || *consumed > 0;
}

// Multi-byte code page 936: decoded as a stream; a byte that starts no valid sequence gives
// U+FFFD and decoding resumes at the next byte.
std::string DecodeStream(iconv_t cd, const std::string& bytes) {
  std::string out;
  size_t pos = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      out += bytes[pos++];
      continue;
    }
    size_t consumed = 0;
    std::string piece;
    const size_t len = std::min<size_t>(2, bytes.size() - pos);
    if (len == 2 && Convert(cd, bytes.data() + pos, 2, &piece, &consumed) && consumed == 2) {
      out += piece;
      pos += 2;
    } else {
      out += kReplacement;
      ++pos;
    }
  }
  return out;
}

// Single-byte code pages: one code point per byte, so that no converter merges a letter with
// a following combining mark.
std::string DecodeBytewise(iconv_t cd, const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
      continue;
    }
    std::string piece;
    size_t consumed = 0;
    if (Convert(cd, &c, 1, &piece, &consumed) && consumed == 1 && !piece.empty()) {
      out += piece;
    } else {
      out += kReplacement;
    }
  }
  return out;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2 ? 1 : 0);
}

}  // namespace

std::string CharsetOf(int codePage, bool level3) {
  if (level3) return "CP437";
  switch (codePage) {
    case 437: case 850: case 852: case 866: case 936:
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
      return "CP" + std::to_string(codePage);
    default:
      return "CP437";
  }
}

Dump ParseDump(const std::string& text) {
  Dump dump;
  std::vector<std::string> lines = Split(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> cells = Split(lines[i], '\t');
    if (i == 0) {
      dump.names = std::move(cells);
    } else if (i == 1) {
      dump.types = std::move(cells);
    } else {
      dump.rows.push_back(std::move(cells));
    }
  }
  return dump;
}

bool IsBlobToken(const std::string& token) {
  return !token.empty() && std::strchr("MFBOG", token[0]) != nullptr;
}

std::vector<std::string> CompareDumps(const Dump& ours, const Dump& theirs, size_t limit) {
  std::vector<std::string> diffs;
  auto note = [&](const std::string& text) {
    if (diffs.size() < limit) diffs.push_back(text);
  };
  if (ours.names != theirs.names) note("field names differ");
  if (ours.types != theirs.types) note("type tokens differ");
  if (ours.rows.size() != theirs.rows.size())
    note("record count " + std::to_string(ours.rows.size()) + " vs " + std::to_string(theirs.rows.size()));
  const size_t rows = std::min(ours.rows.size(), theirs.rows.size());
  for (size_t r = 0; r < rows; ++r) {
    const auto& a = ours.rows[r];
    const auto& b = theirs.rows[r];
    if (a.size() != b.size()) {
      note("record " + std::to_string(r) + ": " + std::to_string(a.size()) + " vs " + std::to_string(b.size()) + " cells");
      continue;
    }
    for (size_t c = 0; c < a.size(); ++c) {
      if (c < ours.types.size() && IsBlobToken(ours.types[c])) continue;
      if (a[c] != b[c]) {
        const std::string name = c < ours.names.size() ? ours.names[c] : std::to_string(c);
        note("record " + std::to_string(r) + ", field " + name + ": \"" + a[c] + "\" vs \"" + b[c] + "\"");
      }
    }
  }
  return diffs;
}

std::string DecodeText(const std::string& bytes, int codePage, bool level3) {
  const std::string charset = CharsetOf(codePage, level3);
  const iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return Escape(bytes);
  const std::string text = charset == "CP936" ? DecodeStream(cd, bytes) : DecodeBytewise(cd, bytes);
  iconv_close(cd);
  return Escape(text);
}

std::string FormatDate(int64_t day) {
  int64_t y;
  unsigned m, d;
  CivilFromDays(day - 719163, &y, &m, &d);  // day 719163 is 1970-01-01
  char buf[48];
  if (y < 0) {
    std::snprintf(buf, sizeof buf, "-%04lld-%02u-%02u", static_cast<long long>(-y), m, d);
  } else {
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  }
  return buf;
}

std::string FormatTime(int64_t ms) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return buf;
}

std::string FormatTimestamp(double ms) {
  const int64_t whole = static_cast<int64_t>(std::llround(ms));
  const int64_t dayMs = 86400000;
  int64_t day = whole / dayMs;
  int64_t rest = whole % dayMs;
  if (rest < 0) {
    rest += dayMs;
    --day;
  }
  return FormatDate(day) + " " + FormatTime(rest);
}

std::string FormatDouble(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string NormalizeDecimal(const std::string& text, int decimals) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  std::string whole, fraction;
  bool point = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      (point ? fraction : whole) += c;
    } else {
      return "?";
    }
  }
  while (!whole.empty() && whole[0] == '0') whole.erase(0, 1);
  if (whole.empty()) whole = "0";
  if (static_cast<int>(fraction.size()) > decimals) {
    // Places beyond the field's decimals must be zeros, else the value is not of this field.
    if (fraction.find_first_not_of('0', decimals) != std::string::npos) return "?";
    fraction.resize(decimals);
  }
  fraction.append(decimals - fraction.size(), '0');
  const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;
  std::string out = (negative && !zero ? "-" : "") + whole;
  if (decimals > 0) out += "." + fraction;
  return out;
}

std::string HexBytes(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += digits[static_cast<unsigned char>(c) >> 4];
    out += digits[static_cast<unsigned char>(c) & 0xF];
  }
  return out;
}

}  // namespace pxcheck
