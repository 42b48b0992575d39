#pragma once
// Cell values in the user's locale. The engine writes and reads numbers in one fixed notation
// ("1234.5"); the grid shows them with the locale's decimal separator (numbers and BCD values
// without grouping, money as money: two decimals, grouping, the currency sign) and reads typed
// numbers the same way, so under a German locale "1,34" is one point three four and "13.002,00"
// thirteen thousand and two. Other values (texts, dates, times, logical values) are the same in
// both.

#include <QLocale>
#include <QString>

#include <optional>

#include "format/field_type.h"

namespace app {

// The text a cell shows for the engine's text of its value.
QString DisplayCellText(engine::TFieldType type, const QString& engineText,
                        const QLocale& locale = QLocale());
// The text a cell editor starts with: as shown, but money without grouping and currency sign.
QString EditCellText(engine::TFieldType type, const QString& engineText,
                     const QLocale& locale = QLocale());
// The engine's text for a typed value; std::nullopt when a number field gets no number.
std::optional<QString> EngineCellText(engine::TFieldType type, const QString& typed,
                                      const QLocale& locale = QLocale());

}  // namespace app
