#include "app/index_composition.h"

#include <QStringList>

namespace app {

QString FieldTypeName(engine::TFieldType type) {
  switch (type) {
    case engine::ftString: return QStringLiteral("ftString");
    case engine::ftSmallint: return QStringLiteral("ftSmallint");
    case engine::ftInteger: return QStringLiteral("ftInteger");
    case engine::ftWord: return QStringLiteral("ftWord");
    case engine::ftBoolean: return QStringLiteral("ftBoolean");
    case engine::ftFloat: return QStringLiteral("ftFloat");
    case engine::ftCurrency: return QStringLiteral("ftCurrency");
    case engine::ftBCD: return QStringLiteral("ftBCD");
    case engine::ftDate: return QStringLiteral("ftDate");
    case engine::ftTime: return QStringLiteral("ftTime");
    case engine::ftDateTime: return QStringLiteral("ftDateTime");
    case engine::ftAutoInc: return QStringLiteral("ftAutoInc");
    case engine::ftBlob: return QStringLiteral("ftBlob");
    case engine::ftMemo: return QStringLiteral("ftMemo");
    default: return QStringLiteral("Unbekannt ");
  }
}

QString IndexCompositionText(const QString& fields, const QString& descFields,
                             const std::function<engine::TFieldType(const QString&)>& typeOf) {
  QStringList lines;
  for (const QString& name : fields.split(QLatin1Char(';'))) {
    lines.append(name + QStringLiteral("  -  ") + FieldTypeName(typeOf(name)));
  }
  QString text = lines.join(QLatin1Char('\r'));
  if (!descFields.isEmpty()) text += QStringLiteral("\r\rDescFields = '") + descFields + u'\'';
  return text;
}

}  // namespace app
