// The dialog tests need one QApplication for the whole run and the tool's start-up settings.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include "tools/tramek_tools.h"

int main(int argc, char** argv) {
  // Also when the test list is read, without the test environment: no display is needed.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  tools::InitializeTramekTools();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
