#pragma once
// TramekTools: the start-up settings shared by every window and the text, date and number
// helpers. All of it is used on the user-interface thread only.

#include <QDate>
#include <QLocale>
#include <QString>
#include <Qt>
#include <optional>

namespace tools {

// Key assignments, compared with a pressed key only when no modifier is held.
extern Qt::Key KeyEdit;    // switch editing on (F8)
extern Qt::Key KeyPost;    // post the record; close the memo viewer (F2)
extern Qt::Key KeyDelete;  // delete the current record (F7)
extern Qt::Key KeyMemo;    // show the memo viewer (F5)

// Date completion settings of ParseDateText.
extern int RecentPastWindowDays;   // mode 0: dates further back than this move one year on
extern int EarliestCompletedYear;  // mode 2: a completed year is raised to at least this; 0 = none

// Makes every start-up setting: the engine's short date format "dd.mm.yyyy", the key
// assignments above and the date completion settings. Call once before the first window is
// created; calling it again restores the start-up values.
void InitializeTramekTools();

// A blank is the space character only; tabs and other white space are kept.
QString TrimLeadingBlanks(const QString& text);
QString TrimTrailingBlanks(const QString& text);
QString TrimBlanks(const QString& text);

// The number rounded to 10 significant digits, with `decimals` decimals, grouped in thousands
// with the locale's separators, followed by one blank: 2048 → "2.048 " and 87.5 with one
// decimal → "87,5 " under German conventions. The default locale is QLocale() (the one set with
// QLocale::setDefault, else the system's).
QString FormatNumberText(double value, int decimals, const QLocale& locale = QLocale());

// Reads a date typed in day-month-year order ("24.12.1999", "24,12,1999", "24121999", "24.12.",
// "5") and completes missing parts from today's date. `mode` (0..255) says how a date whose year
// was not typed in full is moved: 255 back a century when it lies in the future, 0 one year on
// when it lies more than RecentPastWindowDays back, 1 into the future (one month or one year
// on), 2 no move but a completed year of at least EarliestCompletedYear, anything else no move.
// Returns std::nullopt when the text is not a date; never throws.
std::optional<QDate> ParseDateText(const QString& text, int mode);

// The date ParseDateText takes as today; std::nullopt (the default) means the system date.
void SetTodayForTesting(std::optional<QDate> today);

// On: the application's cursor becomes the busy cursor; off: the normal cursor again. Either
// way pending events are then processed once, so the change shows before long work starts.
// Switching on twice needs only one off.
void SetBusyCursor(bool on);

}  // namespace tools
