#include "duplicate/duplication_request.h"

#include <memory>

#include "duplicate/unit_dlg_progress.h"
#include "tools/message_dlg_buttons.h"

namespace duplicate {

TDlgProgress* DlgProgress = nullptr;

namespace {

// Releases the dialog once the events still pending for it have run, however the showing ended.
class DeferredRelease {
 public:
  explicit DeferredRelease(TDlgProgress* dialog) : dialog_(dialog) { DlgProgress = dialog; }
  ~DeferredRelease() {
    DlgProgress = nullptr;
    dialog_->deleteLater();
  }
  DeferredRelease(const DeferredRelease&) = delete;
  DeferredRelease& operator=(const DeferredRelease&) = delete;

 private:
  TDlgProgress* dialog_;
};

}  // namespace

void ButtonCopyTableClick(const DuplicationSource& source, QWidget* parent) {
  const int answer = tools::MessageDlgButtons(
      QStringLiteral("Soll die Tabelle dubliziert werden?"), tools::MsgDlgType::mtConfirmation,
      tools::mbYes | tools::mbNo | tools::mbCancel,
      {QStringLiteral("&Inhalt kopieren"), QStringLiteral("&Nur anlegen"), QString()});
  if (answer == tools::mrCancel) return;
  const DeferredRelease release(new TDlgProgress(source, parent));
  DlgProgress->SetActionCode(answer == tools::mrYes ? TDlgProgress::ActionCopyContent
                                                    : TDlgProgress::ActionCreateOnly);
  DlgProgress->exec();
}

}  // namespace duplicate
