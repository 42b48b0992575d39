#include "tools/message_dlg_buttons.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "tools/message_box.h"

namespace tools {
namespace {

// Widens the box and places the buttons once the box has taken its standard size on showing.
class ButtonRowPlacer : public QObject {
 public:
  ButtonRowPlacer(QMessageBox* box, std::vector<QPushButton*> buttons, std::vector<int> textWidths)
      : QObject(box), box_(box), buttons_(std::move(buttons)), textWidths_(std::move(textWidths)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == box_ && event->type() == QEvent::Show) {
      QTimer::singleShot(0, this, [this] { place(); });
    }
    return false;
  }

 private:
  void place() {
    const ButtonRow row = LayOutButtonRow(textWidths_, box_->width());
    if (row.dialogWidth != box_->width()) box_->setFixedWidth(row.dialogWidth);
    box_->layout()->activate();
    for (size_t j = 0; j < buttons_.size(); ++j) {
      QPushButton* button = buttons_[j];
      const int top = button->mapTo(box_, QPoint()).y();
      button->move(button->parentWidget()->mapFrom(box_, QPoint(row.lefts[j], top)));
    }
  }

  QMessageBox* box_;
  std::vector<QPushButton*> buttons_;
  std::vector<int> textWidths_;
};

}  // namespace

ButtonRow LayOutButtonRow(const std::vector<int>& textWidths, int dialogWidth) {
  ButtonRow row;
  row.dialogWidth = dialogWidth;
  for (int width : textWidths) {
    if (width > 0) row.widest = std::max(row.widest, width + kCaptionAllowance);
  }
  row.widened = row.widest > kStandardButtonWidth;
  if (!row.widened) return row;
  const int n = static_cast<int>(textWidths.size());
  row.dialogWidth = std::max(dialogWidth, n * row.widest + kButtonSpacing * (n - 1) + kButtonRowFrame);
  for (int j = 0; j < n; ++j) row.lefts.push_back(kButtonRowLeft + j * (row.widest + kButtonSpacing));
  return row;
}

int MessageDlgButtons(const QString& message, MsgDlgType type, unsigned buttons,
                      const QStringList& captions) {
  MessageBox box(message, type, buttons, captions);
  const std::vector<QPushButton*>& row = box.Buttons();
  if (captions.size() < static_cast<qsizetype>(row.size())) {
    MessageDlg(QStringLiteral("Zu wenige Texte für Buttons vergeben!"), MsgDlgType::mtError, mbOK);
    return mrNone;
  }
  // The whole text is measured, the accelerator marker "&" like any other character.
  const QFontMetrics metrics(box.Box().font());
  std::vector<int> textWidths;
  for (size_t j = 0; j < row.size(); ++j) {
    const QString& caption = captions[static_cast<qsizetype>(j)];
    textWidths.push_back(caption.isEmpty() ? 0 : metrics.horizontalAdvance(caption));
  }
  const ButtonRow planned = LayOutButtonRow(textWidths, 0);
  if (planned.widened) {
    for (QPushButton* button : row) button->setFixedWidth(planned.widest);
    if (QWidget* buttonBox = row.front()->parentWidget(); buttonBox->layout() != nullptr)
      buttonBox->layout()->setSpacing(kButtonSpacing);
    box.Box().installEventFilter(new ButtonRowPlacer(&box.Box(), row, textWidths));
  }
  return Dialogs().ShowMessageBox(box);
}

}  // namespace tools
