#pragma once
// Pairing the typed key values of the search text with the fields of an index, from the left:
// one piece of the text (pieces separated by ";") per index field, pieces beyond the index's
// last field dropped, date values normalised to "dd.mm.yyyy" (a text that is no date becomes
// empty). At most ten values can be searched.

#include <QString>
#include <QStringList>

#include <functional>

namespace app {

struct KeyValues {
  // False when the text and the index would both give an eleventh value: no search then.
  bool withinLimit = true;
  QStringList values;  // 1 to 10 values, converted, in index field order
  // The search text as the values were used: joined by ";", no ";" after the last.
  QString searchText() const { return values.join(QLatin1Char(';')); }
};

inline constexpr int kMaxKeyValues = 10;
inline constexpr const char* kTooManyKeyValues = "Der Index darf maximal aus zehn Feldern bestehen!";

// `indexFields`: the index's field names separated by ";". `isDateField` tells whether a field
// of that name holds dates; it raises for a name the table does not have.
KeyValues PairKeyValues(const QString& searchText, const QString& indexFields,
                        const std::function<bool(const QString&)>& isDateField);

// A typed date value in the short date format; empty when the text is no date.
QString ConvertDateKeyValue(const QString& value);

}  // namespace app
