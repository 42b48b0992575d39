#include "tools/table_file_name.h"

#include <QDir>
#include <QFileInfo>

namespace tools {

QString ResolveTableFileName(const QString& path, const QString& defaultSuffix) {
  const QFileInfo typed(path);
  if (typed.exists()) return path;
  QStringList wanted{typed.fileName()};
  if (typed.suffix().isEmpty() && !defaultSuffix.isEmpty()) {
    wanted.append(typed.fileName() + QLatin1Char('.') + defaultSuffix);
  }
  const QDir dir = typed.absoluteDir();
  const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
  for (const QString& name : wanted) {
    for (const QString& entry : entries) {
      if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    }
  }
  return path;
}

}  // namespace tools
