#include "tools/dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <array>

#include "tools/table_file_name.h"

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

// The open dialog finds a typed table name in any letter case, with or without its extension.
class TableOpenDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList files = selectedFiles();
    if (files.size() == 1) {
      const QString found = ResolveTableFileName(files.constFirst(), defaultSuffix());
      if (found != files.constFirst()) selectFile(found);
    }
    QFileDialog::accept();
  }
};

class QtDialogs : public DialogSeam {
 public:
  int MessageDlg(const QString& text, MsgDlgType type, unsigned buttons,
                 const QStringList& captions) override {
    QMessageBox box(iconFor(type), titleFor(type), boxText(text), QMessageBox::NoButton);
    std::array<QPushButton*, kButtons.size()> added{};
    int position = 0;
    for (size_t i = 0; i < kButtons.size(); ++i) {
      if ((buttons & kButtons[i].bit) == 0) continue;
      QString caption = position < captions.size() ? captions[position] : QString();
      if (caption.isEmpty()) caption = QString::fromUtf8(kButtons[i].caption);
      // One role for all buttons keeps them in the order added on every platform.
      added[i] = box.addButton(caption, QMessageBox::ActionRole);
      ++position;
    }
    auto find = [&](MsgDlgBtn bit) -> QPushButton* {
      for (size_t i = 0; i < kButtons.size(); ++i) {
        if (kButtons[i].bit == bit) return added[i];
      }
      return nullptr;
    };
    auto firstOf = [&](std::initializer_list<MsgDlgBtn> bits) -> QPushButton* {
      for (MsgDlgBtn bit : bits) {
        if (QPushButton* button = find(bit)) return button;
      }
      return nullptr;
    };
    if (QPushButton* enter = firstOf({mbOK, mbYes, mbRetry})) box.setDefaultButton(enter);
    box.installEventFilter(new BoxKeys(&box, firstOf({mbCancel, mbNo, mbOK})));

    box.exec();
    for (size_t i = 0; i < kButtons.size(); ++i) {
      if (added[i] != nullptr && box.clickedButton() == added[i]) return kButtons[i].result;
    }
    return mrCancel;
  }

  QString GetOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                          const QString& filter, const QString& defaultSuffix) override {
    TableOpenDialog dialog(parent, title, dir, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // Table names are matched without regard to letter case: KUNDEN.DB and kunden.db.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
  }
};

DialogSeam* installed = nullptr;

}  // namespace

DialogSeam& Dialogs() {
  static QtDialogs real;
  return installed != nullptr ? *installed : real;
}

void SetDialogs(DialogSeam* seam) { installed = seam; }

}  // namespace tools
