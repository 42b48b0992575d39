#include "tools/testsupport/window_tests.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include "tools/tramek_tools.h"

namespace tools {

int RunWindowTests(int argc, char** argv) {
  // Also when the test list is read, without the test environment: no display is needed.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  InitializeTramekTools();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace tools
