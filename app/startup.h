#pragma once
// The windows of one program run, created in start-up order: the main window first (it is the
// application's main window), then the block-size analysis dialog, which lives hidden until the
// main window closes and is reused on every ButtonBlockCheck click.

#include <memory>

#include "app/unit_main.h"

class TDlgBlockSize;

namespace app {

struct KerboltWindows {
  std::unique_ptr<TFormMain> formMain;
  TDlgBlockSize* dlgBlockSize = nullptr;  // owned by formMain
};

// Sets the application title on the application object; needs that object to exist.
void setApplicationTitle();
KerboltWindows createWindows();

}  // namespace app
