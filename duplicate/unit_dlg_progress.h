#pragma once
// TDlgProgress: the small modal dialog that carries out one duplication of the main window's
// table into the program directory and shows its progress. Its work starts once the dialog has
// become visible; the copy can be cancelled between records; the outcome is reported in a
// message box and the dialog then closes by itself 100 ms later.

#include <QDialog>

#include <cstdint>

#include "duplicate/duplication_source.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace duplicate {

class TDlgProgress : public QDialog {
  Q_OBJECT

 public:
  static constexpr int16_t ActionCreateOnly = 1;
  static constexpr int16_t ActionCopyContent = 2;
  static constexpr int kCloseDelayMs = 100;

  explicit TDlgProgress(DuplicationSource source, QWidget* parent = nullptr);
  ~TDlgProgress() override;

  int16_t ActionCode() const { return actionCode_; }
  void SetActionCode(int16_t code) { actionCode_ = code; }
  bool Busy() const { return busy_; }
  bool Proceed() const { return proceed_; }
  int Position() const { return position_; }
  int Maximum() const { return maximum_; }
  Qt::WindowStates SavedWindowState() const { return savedWindowState_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;

 private:
  void FormCreate();
  void FormShow();
  void FormActivate();
  void FormClose();
  void ButtonAbbrechenClick();
  void Timer1Timer();
  // Counts one record (back to 0 past the maximum), then lets pending events run: the only
  // place where a click on "Abbrechen" is handled during the copy.
  void AdvanceProgress();
  void ClearAction();
  // The work of one showing: create the duplicate and, for ActionCopyContent, copy the records.
  void Work();
  void CopyContent(const std::string& directory, const std::string& targetName);
  void setPosition(int position);
  engine::FileSystem& fileSystem() const;

  DuplicationSource source_;
  int16_t actionCode_ = 0;
  bool busy_ = false;
  bool proceed_ = false;
  bool working_ = false;        // the work is running: the dialog cannot close
  bool workScheduled_ = false;  // the work of this showing has been started
  int position_ = 0;
  int maximum_ = 100;
  Qt::WindowStates savedWindowState_ = Qt::WindowNoState;

 public:
  QLabel* LabelProgress = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QPushButton* ButtonAbbrechen = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace duplicate
