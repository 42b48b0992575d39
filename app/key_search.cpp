#include "app/key_search.h"

#include "tools/tramek_tools.h"

namespace app {
namespace {

constexpr int kDateModeCenturyBack = 255;

// Takes the text before the first ";" out of `list` (all of it when there is none).
QString takeFirst(QString& list, bool* wasLast) {
  const qsizetype semicolon = list.indexOf(QLatin1Char(';'));
  *wasLast = semicolon < 0;
  const QString first = *wasLast ? list : list.left(semicolon);
  list = *wasLast ? QString() : list.mid(semicolon + 1);
  return first;
}

}  // namespace

QString ConvertDateKeyValue(const QString& value) {
  const std::optional<QDate> date = tools::ParseDateText(value, kDateModeCenturyBack);
  return date ? date->toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

KeyValues PairKeyValues(const QString& searchText, const QString& indexFields,
                        const std::function<bool(const QString&)>& isDateField) {
  KeyValues result;
  QString rest = searchText;
  QString fields = indexFields;
  bool moreFields = true;
  // Pairs one value with the next index field and converts it for that field.
  auto take = [&](const QString& value) {
    if (fields.isEmpty()) {
      result.values.append(QString());
      return;
    }
    bool last = false;
    const QString field = takeFirst(fields, &last);
    if (last) moreFields = false;
    result.values.append(isDateField(field) ? ConvertDateKeyValue(value) : value);
  };
  while (moreFields && rest.contains(QLatin1Char(';'))) {
    if (result.values.size() >= kMaxKeyValues) return KeyValues{false, {}};
    bool last = false;
    take(takeFirst(rest, &last));
  }
  if (moreFields) {
    if (result.values.size() >= kMaxKeyValues) return KeyValues{false, {}};
    take(rest);
  }
  return result;
}

}  // namespace app
