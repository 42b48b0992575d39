#pragma once
// TDlgMemo: the memo dialog, created once at start-up and bound to the main window's data
// source. It shows one memo field of the current record; with AutoEdit on (edit mode) the text
// can be changed: typing puts the record into editing, F2 or the close button hands the text
// to the field (the record stays in editing until the main window posts it), Esc discards it.
// It cannot be made smaller than its first size; frame and text grow with it.

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPlainTextEdit;

namespace app {

class TableModel;

class TDlgMemo : public QDialog {
  Q_OBJECT

 public:
  TDlgMemo(TableModel& dataSource, QWidget* parent = nullptr);

  // The field of the current record that Memo shows and edits at the next showing.
  void setDataField(const QString& name) { dataField_ = name; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormCreate();
  void loadField();
  void memoChanged();
  // Esc closes discarding the text, F2 without modifier closes handing it over.
  bool closingKey(QKeyEvent* key);
  // Hands a changed text to the field; a refusal is shown in an error box.
  void handOver();

  TableModel& dataSource_;
  QString dataField_;
  QString lineBreak_;
  bool loading_ = false;
  bool discard_ = false;

  QFrame* Bevel1 = nullptr;
  QLabel* Label1 = nullptr;
  QPlainTextEdit* Memo = nullptr;
};

}  // namespace app
