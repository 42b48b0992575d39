#pragma once
// A dialog seam for tests: records every message box and file dialog that the code under test
// asks for and answers from queues filled by the test. An ask with an empty queue fails the
// current test and answers Cancel (message box) or an empty name (file dialog); answers left
// unused when the object dies fail the test as well.

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

#include "tools/dialogs.h"

namespace tools {

class ScriptedDialogs : public DialogSeam {
 public:
  struct MessageCall {
    QString text;
    MsgDlgType type;
    unsigned buttons;
    QStringList captions;
  };
  // A box built by the caller, as it stood once shown: its buttons left to right.
  struct BoxCall {
    QString title;
    QString text;
    QStringList captions;
    std::vector<int> widths;
    std::vector<int> lefts;  // inside the box
    int dialogWidth = 0;
  };
  struct OpenFileCall {
    QWidget* parent;
    QString title;
    QString dir;
    QString filter;
    QString defaultSuffix;
  };

  ScriptedDialogs() = default;
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;
  ~ScriptedDialogs() override;

  // The modal result of the next message box.
  void queueMessageResult(int result);
  // The path chosen in the next file dialog; an empty text stands for Cancel.
  void queueOpenFileName(const QString& path);

  const std::vector<MessageCall>& messageCalls() const { return messageCalls_; }
  const std::vector<BoxCall>& boxCalls() const { return boxCalls_; }
  const std::vector<OpenFileCall>& openFileCalls() const { return openFileCalls_; }

  int MessageDlg(const QString& text, MsgDlgType type, unsigned buttons,
                 const QStringList& captions) override;
  // Shows the box without a modal loop to read its buttons back, hides it again and answers
  // from the message box queue.
  int ShowMessageBox(MessageBox& box) override;
  QString GetOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                          const QString& filter, const QString& defaultSuffix) override;

 private:
  int nextMessageResult(const QString& text);

  std::deque<int> messageResults_;
  std::deque<QString> openFileNames_;
  std::vector<MessageCall> messageCalls_;
  std::vector<BoxCall> boxCalls_;
  std::vector<OpenFileCall> openFileCalls_;
};

// Installs a seam for the lifetime of the object and puts the real Qt dialogs back afterwards.
class ScopedDialogSeam {
 public:
  explicit ScopedDialogSeam(DialogSeam& seam) { SetDialogs(&seam); }
  ~ScopedDialogSeam() { SetDialogs(nullptr); }
  ScopedDialogSeam(const ScopedDialogSeam&) = delete;
  ScopedDialogSeam& operator=(const ScopedDialogSeam&) = delete;
};

}  // namespace tools
