// kerbolt: the table browser. It reads no command-line arguments; the ones Qt knows are left
// to Qt, all others are ignored.

#include <QApplication>

#include "app/qt_translations.h"
#include "app/startup.h"
#include "tools/tramek_tools.h"

int main(int argc, char* argv[]) {
  tools::InitializeTramekTools();
  QApplication application(argc, argv);
  app::installQtGermanTranslations(application);
  app::setApplicationTitle();
  app::KerboltWindows windows = app::createWindows();
  windows.formMain->show();
  return application.exec();
}
