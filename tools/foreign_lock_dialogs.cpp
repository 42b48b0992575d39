#include "tools/foreign_lock_dialogs.h"

#include <ctime>

#include "io/file_system.h"
#include "tools/dialogs.h"

namespace tools {

namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

bool ConfirmForeignLockFiles(const std::string& dir, const std::string& name,
                             std::unique_ptr<engine::ForeignLockConsent>* consent) {
  engine::FileSystem& fs = engine::DefaultFileSystem();
  const engine::ForeignUse use = engine::FindForeignUse(fs, dir, name);
  if (!use.Present() || use.Held()) return true;
  const QString question = QString::fromUtf8("„" + use.tablePath + "“: " + engine::ForeignUseText(use, Now())) +
                           QString::fromUtf8("\n\nSind alle anderen Programme geschlossen und die Sperrdateien "
                                             "veraltet? Soll die Tabelle trotzdem verändert werden?");
  if (MessageDlg(question, MsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes) return false;
  *consent = std::make_unique<engine::ForeignLockConsent>(fs, use);
  return true;
}

bool WarnOfForeignUse(const std::string& dir, const std::string& name) {
  const engine::ForeignUse use = engine::FindForeignUse(engine::DefaultFileSystem(), dir, name);
  if (!use.Present() && !use.Held()) return false;
  const std::string text =
      "„" + use.tablePath + "“: " +
      (use.Held() ? "Die Tabelle wird gerade von einem anderen Programm benutzt: "
                  : "Neben der Tabelle liegen Sperrdateien anderer Paradox-Programme: ") +
      engine::ForeignUseFacts(use, Now()) +
      ". Ändern Sie Datensätze nur, wenn kein anderes Programm die Tabelle geöffnet hat: sonst können "
      "dort veraltete Indizes oder beschädigte Tabellen die Folge sein.";
  MessageDlg(QString::fromUtf8(text), MsgDlgType::mtWarning, mbOK);
  return true;
}

}  // namespace tools
