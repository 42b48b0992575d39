#include "duplicate/choose_copy_table_name.h"

#include <QLocale>

namespace duplicate {

QString ChooseCopyTableName(const QString& sourceDirectory, const QString& sourceTableName,
                            const QString& programDirectory) {
  if (sourceDirectory != programDirectory) return sourceTableName;
  if (QLocale().toUpper(sourceTableName) == QLatin1String("COPY.DB")) return QStringLiteral("Copy2.DB");
  return QStringLiteral("Copy.DB");
}

}  // namespace duplicate
