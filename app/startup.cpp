#include "app/startup.h"

#include <QCoreApplication>

#include "app/application_title.h"
#include "app/table_model.h"
#include "app/unit_dlg_memo.h"
#include "blocksize/unit_dlg_block_size.h"

namespace app {

void setApplicationTitle() {
  QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
}

KerboltWindows createWindows() {
  KerboltWindows windows;
  windows.formMain = std::make_unique<TFormMain>();
  // The memo dialog shows the main window's table, so it comes after the main window.
  windows.dlgMemo = new TDlgMemo(windows.formMain->DSTabelle(), windows.formMain.get());
  windows.formMain->setMemoDialog(windows.dlgMemo);
  windows.dlgBlockSize = new TDlgBlockSize(windows.formMain.get());
  windows.formMain->setBlockSizeDialog(windows.dlgBlockSize);
  return windows;
}

}  // namespace app
