#include "app/startup.h"

#include <QCoreApplication>

#include "app/application_title.h"
#include "blocksize/unit_dlg_block_size.h"

namespace app {

void setApplicationTitle() {
  QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
}

KerboltWindows createWindows() {
  KerboltWindows windows;
  windows.formMain = std::make_unique<TFormMain>();
  windows.dlgBlockSize = new TDlgBlockSize(windows.formMain.get());
  windows.formMain->setBlockSizeDialog(windows.dlgBlockSize);
  return windows;
}

}  // namespace app
