#include "app/tests/fixture_tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace app_test {

bool fixturesPresent() { return QFileInfo(QStringLiteral(KERBOLT_FIXTURES_DIR)).isDir(); }

QString fixturePath(const QString& relative) {
  return QDir(QStringLiteral(KERBOLT_FIXTURES_DIR)).filePath(relative);
}

QString copyFixtureTable(const QString& folder, const QString& tableFile, const QString& targetDir) {
  const QDir source(fixturePath(folder));
  const QString base = QFileInfo(tableFile).completeBaseName();
  int copied = 0;
  for (const QFileInfo& file : source.entryInfoList({base + QStringLiteral(".*")}, QDir::Files)) {
    if (file.completeBaseName().compare(base, Qt::CaseInsensitive) != 0) continue;
    const QString target = QDir(targetDir).filePath(file.fileName());
    if (!QFile::copy(file.filePath(), target)) {
      ADD_FAILURE() << "cannot copy " << file.filePath().toStdString();
      return QString();
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    ++copied;
  }
  const QString table = QDir(targetDir).filePath(tableFile);
  if (copied == 0 || !QFileInfo::exists(table)) {
    ADD_FAILURE() << "sample table missing: " << source.filePath(tableFile).toStdString();
    return QString();
  }
  return table;
}

}  // namespace app_test
