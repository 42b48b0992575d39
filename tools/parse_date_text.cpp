// ParseDateText: dates typed in day-month-year order, completed from today's date.

#include <array>

#include "tools/tramek_tools.h"

namespace tools {

namespace {

std::optional<QDate> todayOverride;

QDate today() { return todayOverride ? *todayOverride : QDate::currentDate(); }

// A date part: decimal digits only, no sign (a signed part would turn "-5" into a year of the
// current century).
std::optional<int> readWholeNumber(const QString& piece) {
  constexpr qsizetype kMaxDigits = 9;
  if (piece.isEmpty() || piece.size() > kMaxDigits) return std::nullopt;
  for (QChar c : piece) {
    if (c < u'0' || c > u'9') return std::nullopt;
  }
  return piece.toInt();
}

// The toolkit's date range: years 1 to 9999.
std::optional<QDate> makeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || !QDate::isValid(year, month, day)) return std::nullopt;
  return QDate(year, month, day);
}

enum Part { kDay = 0, kMonth = 1, kYear = 2 };

struct TypedParts {
  std::array<int, 3> value{0, 0, 0};
  std::array<bool, 3> typed{false, false, false};
};

// Splits "d.m.y" (pieces may be empty or missing; a rest after three pieces is ignored) or
// "ddmmyyyy" (stopping where the text ends). False when a piece is not a whole number or the
// text holds more than three dots.
bool splitParts(QString text, TypedParts& parts) {
  auto take = [&parts](int part, const QString& piece) {
    if (piece.isEmpty()) return true;
    std::optional<int> number = readWholeNumber(piece);
    if (!number) return false;
    parts.value[part] = *number;
    parts.typed[part] = true;
    return true;
  };
  if (!text.contains(u'.')) {
    constexpr std::array<int, 3> kStart{0, 2, 4};
    constexpr std::array<int, 3> kLength{2, 2, 4};
    for (int part = kDay; part <= kYear && kStart[part] < text.size(); ++part) {
      if (!take(part, text.mid(kStart[part], kLength[part]))) return false;
    }
    return true;
  }
  int cut = 0;
  while (text.contains(u'.')) {
    if (cut == 3) return false;
    const qsizetype dot = text.indexOf(u'.');
    if (!take(cut, TrimBlanks(text.left(dot)))) return false;
    ++cut;
    text = text.mid(dot + 1);
  }
  return cut >= 3 || take(cut, TrimBlanks(text));
}

}  // namespace

void SetTodayForTesting(std::optional<QDate> date) { todayOverride = date; }

std::optional<QDate> ParseDateText(const QString& input, int mode) {
  QString text = TrimBlanks(input);
  text.remove(u'^');
  if (text.isEmpty()) return std::nullopt;
  const QDate now = today();
  const int thisYear = now.year();
  const int thisMonth = now.month();
  const int thisDay = now.day();
  text.replace(u',', u'.');

  TypedParts parts;
  if (!splitParts(text, parts)) return std::nullopt;
  int day = parts.value[kDay];
  int month = parts.value[kMonth];
  int year = parts.value[kYear];
  if (day == 0) return now;

  // A typed year of 0 ("00") is the year 2000 of the century, not a missing year.
  const bool yearTyped = parts.typed[kYear];
  bool monthCompleted = false;
  bool centuryCompleted = false;
  if (month == 0) {
    // A lone day: the latest such day that is not after today. A day that last month lacks
    // (31 in November, 29 in a short February) comes from the month before it.
    month = day <= thisDay ? thisMonth : thisMonth - 1;
    year = thisYear;
    if (month == 0) {
      month = 12;
      year = thisYear - 1;
    }
    if (day <= 31 && !QDate::isValid(year, month, day)) {
      --month;
      if (month == 0) {
        month = 12;
        --year;
      }
    }
    monthCompleted = true;
  } else if (!yearTyped) {
    const bool afterToday = month > thisMonth || (month == thisMonth && day > thisDay);
    year = afterToday ? thisYear - 1 : thisYear;
    if (mode == 2 && year < EarliestCompletedYear) year = EarliestCompletedYear;
  }
  if (year < 100) {
    year += 100 * (thisYear / 100);
    centuryCompleted = true;
  }

  std::optional<QDate> date = makeDate(year, month, day);
  if (!date) return std::nullopt;
  if (yearTyped && parts.value[kYear] >= 100) return date;

  switch (mode) {
    case 255:
      if (centuryCompleted && *date > now) return makeDate(year - 100, month, day);
      break;
    case 0:
      if (*date < now.addDays(-RecentPastWindowDays)) return makeDate(year + 1, month, day);
      break;
    case 1:
      if (*date < now) {
        if (!monthCompleted) return makeDate(year + 1, month, day);
        return month == 12 ? makeDate(year + 1, 1, day) : makeDate(year, month + 1, day);
      }
      break;
    default:
      break;
  }
  return date;
}

}  // namespace tools
