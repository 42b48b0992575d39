#include "tools/testsupport/window_tests.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

#include "tools/tramek_tools.h"

namespace tools {
namespace {

constexpr const char* kConfigPlatform = "offscreen:configfile=";

// The offscreen platform with one screen of the given size; its configuration file lies in the
// system's temporary folder.
QByteArray offscreenPlatformWith(QSize screen) {
  const QString path = QDir::temp().filePath(
      QStringLiteral("kerbolt-window-tests-screen-%1.json").arg(QCoreApplication::applicationPid()));
  const QByteArray config = QStringLiteral(
      R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": %1, "height": %2,)"
      R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                                .arg(screen.width())
                                .arg(screen.height())
                                .toUtf8();
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(config) < 0) return "offscreen";
  return kConfigPlatform + QFile::encodeName(path);
}

}  // namespace

int RunWindowTests(int argc, char** argv, QSize screen) {
  // Also when the test list is read, without the test environment: no display is needed.
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.isEmpty() || platform == "offscreen") {
    qputenv("QT_QPA_PLATFORM", screen.isValid() ? offscreenPlatformWith(screen) : QByteArray("offscreen"));
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    InitializeTramekTools();
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  const QByteArray used = qgetenv("QT_QPA_PLATFORM");
  if (used.startsWith(kConfigPlatform)) QFile::remove(QFile::decodeName(used.mid(qstrlen(kConfigPlatform))));
  return result;
}

}  // namespace tools
