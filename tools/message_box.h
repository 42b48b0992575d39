#pragma once
// The standard message box as the dialog seam shows it: title and icon by dialog type, the chosen
// buttons in their fixed order with their captions and modal results, Enter and Esc defaults,
// and closing through the title bar answering Cancel.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "tools/dialogs.h"

class QMessageBox;
class QPushButton;

namespace tools {

class MessageBox {
 public:
  // captions: one text per button of the box in button order; an empty or missing text keeps
  // the standard caption.
  MessageBox(const QString& text, MsgDlgType type, unsigned buttons, const QStringList& captions);
  ~MessageBox();
  MessageBox(const MessageBox&) = delete;
  MessageBox& operator=(const MessageBox&) = delete;

  QMessageBox& Box() { return *box_; }
  // The buttons left to right.
  const std::vector<QPushButton*>& Buttons() const { return buttons_; }
  // Shows the box modally; the modal result of the button that closed it, Cancel when it was
  // closed without a button.
  int Exec();

 private:
  std::unique_ptr<QMessageBox> box_;
  std::vector<QPushButton*> buttons_;
  std::vector<int> results_;
};

}  // namespace tools
