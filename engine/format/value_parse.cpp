#include "format/value_parse.h"

#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "format/code_page.h"
#include "format/value_codec.h"

namespace engine {

namespace {

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseWhole(const std::string& text, int64_t* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseDecimal(std::string text, double* out) {
  if (text.find(',') != std::string::npos && text.find('.') == std::string::npos)
    for (char& c : text)
      if (c == ',') c = '.';
  const std::optional<double> v = ParseCNumber(text);
  if (!v || !std::isfinite(*v)) return false;
  *out = *v;
  return true;
}

std::vector<int> Numbers(const std::string& text, std::vector<int>* widths) {
  std::vector<int> out;
  size_t i = 0;
  while (i < text.size()) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j - i > 9) return {};
    out.push_back(std::atoi(text.substr(i, j - i).c_str()));
    if (widths) widths->push_back(static_cast<int>(j - i));
    i = j;
  }
  return out;
}

}  // namespace

std::optional<double> ParseCNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i + 1 < text.size() && text[i] == '+' && text[i + 1] != '-') ++i;
  double v = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data() + i, last, v);
  if (error != std::errc() || end != last) return std::nullopt;
  return v;
}

std::optional<int32_t> ParseDateValue(const std::string& textIn, const std::string& pattern) {
  const std::string text = Trim(textIn);
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '/' && c != ' ')
      return std::nullopt;
  std::vector<int> widths;
  const std::vector<int> n = Numbers(text, &widths);
  if (n.size() != 3) return std::nullopt;
  int year, month, day;
  if (widths[0] == 4) {  // ISO order
    year = n[0];
    month = n[1];
    day = n[2];
  } else {
    std::string order;
    for (char c : Lower(pattern))
      if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos) order += c;
    if (order.size() != 3) order = "dmy";
    int values[3] = {0, 0, 0};
    for (size_t i = 0; i < 3; ++i) values[order[i] == 'd' ? 0 : order[i] == 'm' ? 1 : 2] = n[i];
    day = values[0];
    month = values[1];
    year = values[2];
    const size_t yearPos = order.find('y');
    if (widths[yearPos] <= 2) year += year < 50 ? 2000 : 1900;
  }
  if (!IsValidCivilDate(year, month, day)) return std::nullopt;
  return DayNumberFromCivil(year, month, day);
}

std::optional<int32_t> ParseTimeValue(const std::string& textIn) {
  const std::string text = Trim(textIn);
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.' && c != ',') return std::nullopt;
  std::vector<int> widths;
  const std::vector<int> n = Numbers(text, &widths);
  if (n.size() < 2 || n.size() > 4) return std::nullopt;
  const int h = n[0], m = n[1], s = n.size() > 2 ? n[2] : 0;
  int ms = 0;
  if (n.size() == 4) {
    ms = n[3];
    for (int w = widths[3]; w < 3; ++w) ms *= 10;
    if (widths[3] > 3) return std::nullopt;
  }
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

std::string EncodeTextValue(const FieldLayout& f, const std::string& textIn, const CodePage& codePage,
                            const std::string& datePattern, uint8_t* out) {
  std::memset(out, 0, f.bytes);
  const std::string text = f.type == PxType::Alpha ? textIn : Trim(textIn);
  if (text.empty()) return "";
  switch (f.type) {
    case PxType::Alpha: {
      std::string bytes;
      if (!codePage.FromUtf8(text, &bytes)) return "enthält Zeichen, die die Codeseite der Tabelle nicht kennt";
      if (bytes.find('\0') != std::string::npos) return "enthält ein Nullzeichen";
      if (!EncodeAlphaValue(bytes, out, f.bytes))
        return "ist länger als " + std::to_string(f.bytes) + " Zeichen";
      return "";
    }
    case PxType::Short: case PxType::Long: case PxType::AutoInc: {
      int64_t v = 0;
      if (!ParseWhole(text, &v)) return "keine ganze Zahl";
      const int64_t limit = f.type == PxType::Short ? 32767 : 2147483647;
      if (v < -limit || v > limit) return "außerhalb des Bereichs -" + std::to_string(limit) + ".." + std::to_string(limit);
      EncodeIntValue(static_cast<int32_t>(v), out, f.bytes);
      return "";
    }
    case PxType::Number: case PxType::Money: {
      double v = 0;
      if (!ParseDecimal(text, &v)) return "keine gültige Zahl";
      EncodeDoubleValue(v, out);
      return "";
    }
    case PxType::Bcd:
      if (!EncodeBcdValue(text, f.sizeByte, out)) return "keine gültige Dezimalzahl";
      return "";
    case PxType::Logical: {
      const std::string t = Lower(text);
      if (t == "true" || t == "ja" || t == "wahr" || t == "1" || t == "j" || t == "t")
        EncodeLogicalValue(true, out);
      else if (t == "false" || t == "nein" || t == "falsch" || t == "0" || t == "n" || t == "f")
        EncodeLogicalValue(false, out);
      else
        return "kein logischer Wert (True/False)";
      return "";
    }
    case PxType::Date: {
      const auto day = ParseDateValue(text, datePattern);
      if (!day) return "kein gültiges Datum";
      EncodeIntValue(*day, out, f.bytes);
      return "";
    }
    case PxType::Time: {
      const auto ms = ParseTimeValue(text);
      if (!ms) return "keine gültige Uhrzeit";
      EncodeIntValue(*ms, out, f.bytes);
      return "";
    }
    case PxType::Timestamp: {
      const size_t space = text.find(' ');
      const auto day = ParseDateValue(text.substr(0, space), datePattern);
      const auto ms = space == std::string::npos ? std::optional<int32_t>(0) : ParseTimeValue(text.substr(space + 1));
      if (!day || !ms) return "kein gültiger Zeitstempel";
      EncodeDoubleValue(static_cast<double>(*day) * kMsPerDay + *ms, out);
      return "";
    }
    case PxType::Bytes:
      if (text.size() > f.bytes) return "ist länger als " + std::to_string(f.bytes) + " Bytes";
      std::memcpy(out, text.data(), text.size());
      return "";
    default:
      return "kann nicht als Text gesetzt werden";
  }
}

}  // namespace engine
