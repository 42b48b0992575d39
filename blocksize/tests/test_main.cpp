// The window tests need one QApplication for the whole run and German number formats, for
// which the tool's texts and menu comparisons are written. Without a display they run on the
// offscreen platform with a 1024 × 768 screen, the smallest the dialog is made for.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

#include "tools/tramek_tools.h"

namespace {

constexpr const char* kSmallScreen =
    R"({"screens": [{"name": "klein", "x": 0, "y": 0, "width": 1024, "height": 768,)"
    R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";

// The offscreen platform with a screen of 1024 × 768 pixels; its configuration file lies in the
// system's temporary folder.
QByteArray smallOffscreenPlatform() {
  const QString path = QDir::temp().filePath(
      QStringLiteral("kerbolt-blocksize-screen-%1.json").arg(QCoreApplication::applicationPid()));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(kSmallScreen) < 0) return "offscreen";
  return "offscreen:configfile=" + QFile::encodeName(path);
}

}  // namespace

int main(int argc, char** argv) {
  // Also when the test list is read, without the test environment: no display is needed.
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.isEmpty() || platform == "offscreen") {
    qputenv("QT_QPA_PLATFORM", smallOffscreenPlatform());
  }
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  tools::InitializeTramekTools();
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  if (qgetenv("QT_QPA_PLATFORM").startsWith("offscreen:configfile=")) {
    QFile::remove(QFile::decodeName(qgetenv("QT_QPA_PLATFORM").mid(21)));
  }
  return result;
}
