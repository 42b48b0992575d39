#include "format/value_codec.h"

#include <cmath>
#include <cstring>

#include "format/number_text.h"
#include "io/coding.h"

namespace engine {

namespace {

constexpr size_t kBcdBytes = 17;
constexpr int kBcdDigits = 32;
constexpr uint8_t kBcdPositive = 0x80;
constexpr uint8_t kBcdPresent = 0x40;
constexpr uint8_t kBcdDecimalsMask = 0x3F;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int* m, int* d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

// Day number of 1970-01-01 in the date-field numbering (0001-01-01 = 1).
const int64_t kUnixEpochDayNumber = -DaysFromCivil(1, 1, 1) + 1;

// Year of an ISO date: four digits at least, a minus sign before them for years before 1.
void AppendYear(std::string& out, int64_t y) {
  if (y < 0) out.push_back('-');
  AppendPadded(out, y < 0 ? -y : y, 4);
}

}  // namespace

int32_t DayNumberFromCivil(int year, int month, int day) {
  return static_cast<int32_t>(DaysFromCivil(year, month, day) + kUnixEpochDayNumber);
}

void CivilFromDayNumber(int32_t dayNumber, int* year, int* month, int* day) {
  // Days of the years 1 to 9999 count from 0000-03-01 without a sign, and their year, month and
  // day follow from a few multiplications and shifts (C. Neri and L. Schneider's method: the
  // century from four times the day, the year of the century and the day of the year from the
  // high and low halves of one 64-bit product, the month and day from another).
  constexpr int32_t kLastDay = 3652059;  // 9999-12-31
  if (dayNumber >= 1 && dayNumber <= kLastDay) {
    const uint32_t z = static_cast<uint32_t>(dayNumber) + 305;  // days since 0000-03-01
    const uint32_t quarters = 4 * z + 3;
    const uint32_t century = quarters / 146097;
    const uint64_t product = uint64_t{2939745} * (quarters % 146097 | 3);
    const uint32_t yearOfCentury = static_cast<uint32_t>(product >> 32);
    const uint32_t dayOfYear = static_cast<uint32_t>(product) / 2939745 / 4;  // from March 1
    const uint32_t monthAndDay = 2141 * dayOfYear + 197913;
    const bool januaryOrFebruary = dayOfYear >= 306;
    *year = static_cast<int>(100 * century + yearOfCentury + januaryOrFebruary);
    *month = static_cast<int>((monthAndDay >> 16) - (januaryOrFebruary ? 12 : 0));
    *day = static_cast<int>((monthAndDay & 0xFFFF) / 2141 + 1);
    return;
  }
  int64_t y;
  CivilFromDays(static_cast<int64_t>(dayNumber) - kUnixEpochDayNumber, &y, month, day);
  *year = static_cast<int>(y);
}

bool IsValidCivilDate(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int max = (month == 2 && leap) ? 29 : kDays[month - 1];
  return day <= max;
}

void EncodeIntValue(int32_t v, uint8_t* p, size_t n) { coding::EncodeFlippedInt(v, p, n); }
void EncodeDoubleValue(double v, uint8_t* p) { coding::EncodeFlippedDouble(v, p); }
bool DecodeLogicalValue(const uint8_t* p) { return p[0] == 0x81; }
void EncodeLogicalValue(bool v, uint8_t* p) { p[0] = v ? 0x81 : 0x80; }

std::string DecodeAlphaValue(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

bool EncodeAlphaValue(const std::string& bytes, uint8_t* p, size_t n) {
  if (bytes.size() > n || bytes.find('\0') != std::string::npos) return false;
  std::memset(p, 0, n);
  std::memcpy(p, bytes.data(), bytes.size());
  return true;
}

std::optional<std::string> DecodeBcdValue(const uint8_t* p, int decimals) {
  const uint8_t head = p[0];
  if (decimals < 0 || decimals > kBcdDigits || (head & kBcdPresent) == 0 ||
      (head & kBcdDecimalsMask) != decimals)
    return std::nullopt;
  const bool negative = (head & kBcdPositive) == 0;
  std::string digits;
  digits.reserve(kBcdDigits);
  for (size_t i = 1; i < kBcdBytes; ++i) {
    const uint8_t b = negative ? static_cast<uint8_t>(~p[i]) : p[i];
    const int hi = b >> 4, lo = b & 0x0F;
    if (hi > 9 || lo > 9) return std::nullopt;
    digits.push_back(static_cast<char>('0' + hi));
    digits.push_back(static_cast<char>('0' + lo));
  }
  std::string intPart = digits.substr(0, kBcdDigits - decimals);
  const std::string fracPart = digits.substr(kBcdDigits - decimals);
  const size_t firstNonZero = intPart.find_first_not_of('0');
  intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
  const bool allZero = digits.find_first_not_of('0') == std::string::npos;
  std::string out = (negative && !allZero) ? "-" : "";
  out += intPart;
  if (decimals > 0) out += "." + fracPart;
  return out;
}

bool EncodeBcdValue(const std::string& text, int decimals, uint8_t* p) {
  if (decimals < 0 || decimals > kBcdDigits) return false;
  size_t i = 0;
  bool negative = false;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string intDigits, fracDigits;
  bool seenPoint = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9')
      (seenPoint ? fracDigits : intDigits).push_back(c);
    else if ((c == '.' || c == ',') && !seenPoint)
      seenPoint = true;
    else if (c == ' ')
      break;
    else
      return false;
  }
  for (; i < text.size(); ++i)
    if (text[i] != ' ') return false;
  if (intDigits.empty() && fracDigits.empty()) return false;
  // Round the fraction to `decimals` places, half away from zero.
  bool roundUp = static_cast<int>(fracDigits.size()) > decimals && fracDigits[decimals] >= '5';
  fracDigits.resize(decimals, '0');
  std::string all = intDigits + fracDigits;
  for (int k = static_cast<int>(all.size()) - 1; roundUp && k >= 0; --k) {
    if (all[k] == '9') {
      all[k] = '0';
    } else {
      ++all[k];
      roundUp = false;
    }
  }
  if (roundUp) all.insert(all.begin(), '1');
  const size_t firstNonZero = all.find_first_not_of('0');
  all = firstNonZero == std::string::npos ? "" : all.substr(firstNonZero);
  if (all.size() > kBcdDigits) return false;
  if (all.empty()) negative = false;
  all.insert(all.begin(), kBcdDigits - all.size(), '0');
  p[0] = static_cast<uint8_t>((negative ? 0 : kBcdPositive) | kBcdPresent | decimals);
  for (size_t k = 0; k < 16; ++k) {
    uint8_t b = static_cast<uint8_t>(((all[2 * k] - '0') << 4) | (all[2 * k + 1] - '0'));
    p[1 + k] = negative ? static_cast<uint8_t>(~b) : b;
  }
  return true;
}

void AppendIsoDate(std::string& out, int32_t dayNumber) {
  int y, m, d;
  CivilFromDayNumber(dayNumber, &y, &m, &d);
  if (y >= 0 && y <= 9999) {
    char text[10];
    WriteTwoDigits(text, static_cast<unsigned>(y / 100));
    WriteTwoDigits(text + 2, static_cast<unsigned>(y % 100));
    text[4] = '-';
    WriteTwoDigits(text + 5, static_cast<unsigned>(m));
    text[7] = '-';
    WriteTwoDigits(text + 8, static_cast<unsigned>(d));
    out.append(text, sizeof text);
    return;
  }
  AppendYear(out, y);
  out.push_back('-');
  AppendPadded(out, m, 2);
  out.push_back('-');
  AppendPadded(out, d, 2);
}

std::string FormatIsoDate(int32_t dayNumber) {
  std::string out;
  AppendIsoDate(out, dayNumber);
  return out;
}

std::string FormatIsoTime(int64_t ms) {
  const bool negative = ms < 0;
  if (negative) ms = -ms;
  std::string out;
  out.reserve(16);
  if (negative) out.push_back('-');
  AppendPadded(out, ms / 3600000, 2);
  out.push_back(':');
  AppendPadded(out, ms / 60000 % 60, 2);
  out.push_back(':');
  AppendPadded(out, ms / 1000 % 60, 2);
  out.push_back('.');
  AppendPadded(out, ms % 1000, 3);
  return out;
}

std::optional<int64_t> TimestampMilliseconds(double msValue) {
  // Milliseconds from the first day whose day number no longer fits 32 bits, in either direction.
  constexpr double kPastTheDays = 2147483648.0 * static_cast<double>(kMsPerDay);
  if (!std::isfinite(msValue) || std::fabs(msValue) >= kPastTheDays) return std::nullopt;
  return static_cast<int64_t>(std::llround(msValue));
}

std::optional<std::string> FormatIsoTimestamp(double msValue) {
  const auto ms = TimestampMilliseconds(msValue);
  if (!ms) return std::nullopt;
  const int64_t day = FloorDiv(*ms, kMsPerDay);
  return FormatIsoDate(static_cast<int32_t>(day)) + " " + FormatIsoTime(*ms - day * kMsPerDay);
}

std::string FormatDouble17(double v) {
  std::string out;
  AppendGeneral(out, v, 17);
  return out;
}

}  // namespace engine
