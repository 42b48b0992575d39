#pragma once
// The one seam through which every message box and file dialog of the tool goes. The real
// implementation shows Qt dialogs; tests install a ScriptedDialogs (tools/tests) that answers
// from a queue and records what was asked, so no test ever blocks in exec().

#include <QString>
#include <QStringList>

class QWidget;

namespace tools {

class MessageBox;

enum class MsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// Button set bits, in dialog order left to right.
enum MsgDlgBtn : unsigned {
  mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3, mbAbort = 1u << 4,
  mbRetry = 1u << 5, mbIgnore = 1u << 6, mbAll = 1u << 7, mbNoToAll = 1u << 8,
  mbYesToAll = 1u << 9, mbHelp = 1u << 10,
};

enum ModalResult : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
  mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10,
};

class DialogSeam {
 public:
  virtual ~DialogSeam() = default;
  // Standard message box (titles "Warnung", "Fehler", "Information", "Bestätigung", or the
  // application title for mtCustom). captions: one text per button of the box in button
  // order; an empty text keeps the standard caption. Returns the modal result.
  virtual int MessageDlg(const QString& text, MsgDlgType type, unsigned buttons,
                         const QStringList& captions) = 0;
  // A message box built by the caller (MessageDlgButtons), shown modally; returns the modal
  // result of the button that closed it.
  virtual int ShowMessageBox(MessageBox& box) = 0;
  // File-open dialog; returns the chosen full path or an empty text on cancel.
  virtual QString GetOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                                  const QString& filter, const QString& defaultSuffix) = 0;
};

DialogSeam& Dialogs();
// Installs a replacement (tests); nullptr restores the real Qt dialogs.
void SetDialogs(DialogSeam* seam);

// Convenience: a standard message box with standard captions.
inline int MessageDlg(const QString& text, MsgDlgType type, unsigned buttons) {
  return Dialogs().MessageDlg(text, type, buttons, {});
}

}  // namespace tools
