#include "tools/tramek_tools.h"

#include <QApplication>
#include <QCursor>
#include <cmath>

#include "component/table.h"

namespace tools {

Qt::Key KeyEdit = Qt::Key_F8;
Qt::Key KeyPost = Qt::Key_F2;
Qt::Key KeyDelete = Qt::Key_F7;
Qt::Key KeyMemo = Qt::Key_F5;

int RecentPastWindowDays = 50;
int EarliestCompletedYear = 0;

void InitializeTramekTools() {
  engine::SetShortDateFormat("dd.mm.yyyy");
  KeyEdit = Qt::Key_F8;
  KeyPost = Qt::Key_F2;
  KeyDelete = Qt::Key_F7;
  KeyMemo = Qt::Key_F5;
  RecentPastWindowDays = 50;
  EarliestCompletedYear = 0;
}

QString TrimLeadingBlanks(const QString& text) {
  qsizetype start = 0;
  while (start < text.size() && text[start] == u' ') ++start;
  return text.mid(start);
}

QString TrimTrailingBlanks(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && text[end - 1] == u' ') --end;
  return text.left(end);
}

QString TrimBlanks(const QString& text) { return TrimLeadingBlanks(TrimTrailingBlanks(text)); }

QString FormatNumberText(double value, int decimals, const QLocale& locale) {
  constexpr int kSignificantDigits = 10;
  // Rounding through the shortest exact decimal form keeps 10 significant digits in any
  // magnitude; larger numbers keep fixed notation with their lower digits zeroed.
  double rounded = QString::number(value, 'g', kSignificantDigits).toDouble();
  // A negative value that rounds to zero shows as zero, without a sign.
  if (std::fabs(rounded) < 0.5 * std::pow(10.0, -decimals)) rounded = 0.0;
  return locale.toString(rounded, 'f', decimals) + u' ';
}

namespace {
bool busyCursorOn = false;
}  // namespace

void SetBusyCursor(bool on) {
  if (on && !busyCursorOn) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    busyCursorOn = true;
  } else if (!on && busyCursorOn) {
    QApplication::restoreOverrideCursor();
    busyCursorOn = false;
  }
  QApplication::processEvents();
}

}  // namespace tools
