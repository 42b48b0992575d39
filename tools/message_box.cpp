#include "tools/message_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <array>

namespace tools {
namespace {

struct ButtonKind {
  MsgDlgBtn bit;
  const char* caption;  // UTF-8
  int result;
};

// Every button of the standard box in dialog order, left to right.
constexpr std::array<ButtonKind, 11> kButtons{{
    {mbYes, "&Ja", mrYes},
    {mbNo, "&Nein", mrNo},
    {mbOK, "OK", mrOk},
    {mbCancel, "Abbrechen", mrCancel},
    {mbAbort, "&Abbrechen", mrAbort},
    {mbRetry, "&Wiederholen", mrRetry},
    {mbIgnore, "&Ignorieren", mrIgnore},
    {mbAll, "&Alle", mrAll},
    {mbNoToAll, "&Nein für alle", mrNoToAll},
    {mbYesToAll, "&Ja für alle", mrYesToAll},
    {mbHelp, "&Hilfe", mrNone},
}};

QString titleFor(MsgDlgType type) {
  switch (type) {
    case MsgDlgType::mtWarning: return QStringLiteral("Warnung");
    case MsgDlgType::mtError: return QStringLiteral("Fehler");
    case MsgDlgType::mtInformation: return QStringLiteral("Information");
    case MsgDlgType::mtConfirmation: return QStringLiteral("Bestätigung");
    case MsgDlgType::mtCustom: break;
  }
  return QGuiApplication::applicationDisplayName();
}

QMessageBox::Icon iconFor(MsgDlgType type) {
  switch (type) {
    case MsgDlgType::mtWarning: return QMessageBox::Warning;
    case MsgDlgType::mtError: return QMessageBox::Critical;
    case MsgDlgType::mtInformation: return QMessageBox::Information;
    case MsgDlgType::mtConfirmation: return QMessageBox::Question;
    case MsgDlgType::mtCustom: break;
  }
  return QMessageBox::NoIcon;
}

// Gives Esc and the title-bar close button their fixed meaning: Esc presses the escape button
// (or nothing when the box has none); closing the box without a button leaves it with no
// clicked button, which answers Cancel.
class BoxKeys : public QObject {
 public:
  BoxKeys(QMessageBox* box, QAbstractButton* escapeButton)
      : QObject(box), box_(box), escapeButton_(escapeButton) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != box_) return false;
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      if (escapeButton_ != nullptr) escapeButton_->click();
      return true;
    }
    if (event->type() == QEvent::Close && box_->clickedButton() == nullptr) {
      box_->done(mrCancel);
      return true;
    }
    return false;
  }

 private:
  QMessageBox* box_;
  QAbstractButton* escapeButton_;
};

// A carriage return in a box's text is a line break.
QString boxText(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

MessageBox::MessageBox(const QString& text, MsgDlgType type, unsigned buttons,
                       const QStringList& captions)
    : box_(std::make_unique<QMessageBox>(iconFor(type), titleFor(type), boxText(text),
                                         QMessageBox::NoButton)) {
  std::array<QPushButton*, kButtons.size()> added{};
  for (size_t i = 0; i < kButtons.size(); ++i) {
    if ((buttons & kButtons[i].bit) == 0) continue;
    const qsizetype position = static_cast<qsizetype>(buttons_.size());
    QString caption = position < captions.size() ? captions[position] : QString();
    if (caption.isEmpty()) caption = QString::fromUtf8(kButtons[i].caption);
    // One role for all buttons keeps them in the order added on every platform.
    added[i] = box_->addButton(caption, QMessageBox::ActionRole);
    buttons_.push_back(added[i]);
    results_.push_back(kButtons[i].result);
  }
  auto firstOf = [&](std::initializer_list<MsgDlgBtn> bits) -> QPushButton* {
    for (MsgDlgBtn bit : bits) {
      for (size_t i = 0; i < kButtons.size(); ++i) {
        if (kButtons[i].bit == bit && added[i] != nullptr) return added[i];
      }
    }
    return nullptr;
  };
  if (QPushButton* enter = firstOf({mbOK, mbYes, mbRetry})) box_->setDefaultButton(enter);
  box_->installEventFilter(new BoxKeys(box_.get(), firstOf({mbCancel, mbNo, mbOK})));
}

MessageBox::~MessageBox() = default;

int MessageBox::Exec() {
  box_->exec();
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (box_->clickedButton() == buttons_[i]) return results_[i];
  }
  return mrCancel;
}

}  // namespace tools
