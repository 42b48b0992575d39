#include "tools/testsupport/scripted_dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "tools/message_box.h"

namespace tools {

ScriptedDialogs::~ScriptedDialogs() {
  if (!messageResults_.empty()) {
    ADD_FAILURE() << messageResults_.size() << " queued message box answer(s) were never asked for";
  }
  if (!openFileNames_.empty()) {
    ADD_FAILURE() << openFileNames_.size() << " queued file dialog answer(s) were never asked for";
  }
}

void ScriptedDialogs::queueMessageResult(int result) { messageResults_.push_back(result); }

void ScriptedDialogs::queueOpenFileName(const QString& path) { openFileNames_.push_back(path); }

int ScriptedDialogs::MessageDlg(const QString& text, MsgDlgType type, unsigned buttons,
                                const QStringList& captions) {
  messageCalls_.push_back({text, type, buttons, captions});
  return nextMessageResult(text);
}

int ScriptedDialogs::ShowMessageBox(MessageBox& built) {
  QMessageBox& box = built.Box();
  box.show();
  // Twice: the box settles its size on showing and may place its buttons in a posted step.
  QApplication::processEvents();
  QApplication::processEvents();
  BoxCall call{box.windowTitle(), box.text(), {}, {}, {}, box.width()};
  for (QPushButton* button : built.Buttons()) {
    call.captions << button->text();
    call.widths.push_back(button->width());
    call.lefts.push_back(button->mapTo(&box, QPoint()).x());
  }
  box.hide();
  boxCalls_.push_back(call);
  return nextMessageResult(call.text);
}

int ScriptedDialogs::nextMessageResult(const QString& text) {
  if (messageResults_.empty()) {
    ADD_FAILURE() << "unexpected message box: " << text.toStdString();
    return mrCancel;
  }
  const int result = messageResults_.front();
  messageResults_.pop_front();
  return result;
}

QString ScriptedDialogs::GetOpenFileName(QWidget* parent, const QString& title,
                                         const QString& dir, const QString& filter,
                                         const QString& defaultSuffix) {
  openFileCalls_.push_back({parent, title, dir, filter, defaultSuffix});
  if (openFileNames_.empty()) {
    ADD_FAILURE() << "unexpected file dialog: " << title.toStdString();
    return QString();
  }
  QString path = openFileNames_.front();
  openFileNames_.pop_front();
  return path;
}

}  // namespace tools
