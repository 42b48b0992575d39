#include "tools/dialogs.h"

#include <QDir>
#include <QFileDialog>

#include "tools/message_box.h"
#include "tools/table_file_name.h"

namespace tools {
namespace {

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
    MessageBox box(text, type, buttons, captions);
    return box.Exec();
  }

  int ShowMessageBox(MessageBox& box) override { return box.Exec(); }

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
