#include "tools/message_dlg_buttons.h"

#include <QEvent>
#include <QFontMetrics>
#include <QBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "tools/message_box.h"

namespace tools {
namespace {

// Width of a row of `count` buttons of width `widest`, from the first button's left edge to the
// last one's right edge.
int RowExtent(int count, int widest) { return count * widest + (count - 1) * kButtonSpacing; }

// Lays the widened row out from the left: the buttons take the width of the widest caption and
// stand the rule's space apart; the room left over goes to the right of the row.
void LeftAlignRow(QWidget* buttonBox, int widest) {
  auto* row = qobject_cast<QBoxLayout*>(buttonBox->layout());
  if (row == nullptr) return;
  for (int i = row->count() - 1; i >= 0; --i) {
    if (row->itemAt(i)->spacerItem() != nullptr) delete row->takeAt(i);
  }
  row->addStretch(1);
  row->setSpacing(kButtonSpacing);
  for (QPushButton* button : buttonBox->findChildren<QPushButton*>()) button->setFixedWidth(widest);
}

// Once the box has taken its standard size on showing: widens it when it is narrower than the
// row needs and lets the row begin at the rule's left edge.
class ButtonRowPlacer : public QObject {
 public:
  ButtonRowPlacer(QMessageBox* box, QWidget* buttonBox, std::vector<int> textWidths)
      : QObject(box), box_(box), buttonBox_(buttonBox), textWidths_(std::move(textWidths)) {}

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
    QLayout* outer = box_->layout();
    QMargins margins = buttonBox_->layout()->contentsMargins();
    const int boxLeft = buttonBox_->mapTo(box_, QPoint()).x();
    const int rightGap = box_->width() - (boxLeft + buttonBox_->width());
    const int shift = kButtonRowLeft - (boxLeft + margins.left());
    if (shift >= -margins.left()) {
      margins.setLeft(margins.left() + shift);
    } else {
      QMargins outerMargins = outer->contentsMargins();
      outerMargins.setLeft(std::max(0, outerMargins.left() + shift + margins.left()));
      outer->setContentsMargins(outerMargins);
      margins.setLeft(0);
    }
    if (row.dialogWidth > box_->width()) {
      // The box sizes itself to what its layout needs: room right of the row widens it.
      const int rowExtent = RowExtent(static_cast<int>(textWidths_.size()), row.widest);
      const int buttonBoxWidth = row.dialogWidth - boxLeft - rightGap;
      margins.setRight(std::max(0, buttonBoxWidth - (kButtonRowLeft - boxLeft) - rowExtent));
    }
    buttonBox_->layout()->setContentsMargins(margins);
    outer->activate();
    if (row.dialogWidth > box_->width()) box_->setFixedWidth(row.dialogWidth);
  }

  QMessageBox* box_;
  QWidget* buttonBox_;
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
  row.dialogWidth = std::max(dialogWidth, RowExtent(n, row.widest) + kButtonRowFrame);
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
    QWidget* buttonBox = row.front()->parentWidget();
    LeftAlignRow(buttonBox, planned.widest);
    box.Box().installEventFilter(new ButtonRowPlacer(&box.Box(), buttonBox, textWidths));
  }
  return Dialogs().ShowMessageBox(box);
}

}  // namespace tools
