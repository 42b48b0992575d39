#include "tools/testsupport/scripted_dialogs.h"

#include <gtest/gtest.h>

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
