#pragma once
// The windows of one program run, created in start-up order: the main window first (it is the
// application's main window), then the memo dialog bound to its table, then the block-size
// analysis dialog. Both dialogs live hidden until the main window closes and are reused on
// every showing.

#include <memory>

#include "app/unit_main.h"

class TDlgBlockSize;

namespace app {

class TDlgMemo;

struct KerboltWindows {
  std::unique_ptr<TFormMain> formMain;
  TDlgMemo* dlgMemo = nullptr;            // owned by formMain
  TDlgBlockSize* dlgBlockSize = nullptr;  // owned by formMain
};

// Sets the application title on the application object; needs that object to exist.
void setApplicationTitle();
KerboltWindows createWindows();

}  // namespace app
