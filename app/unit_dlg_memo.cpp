#include "app/unit_dlg_memo.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScopedValueRollback>

#include <exception>

#include "app/record_state.h"
#include "app/table_model.h"
#include "component/table.h"
#include "tools/dialogs.h"
#include "tools/tramek_tools.h"

namespace app {
namespace {

constexpr int kClientWidth = 411;
constexpr int kClientHeight = 180;
constexpr QRect kBevel{4, 5, 404, 171};
constexpr QRect kLabel{8, 18, 52, 17};
constexpr QRect kMemo{66, 15, 330, 151};

// A rectangle anchored to all four sides of a client area grown by `grow`.
QRect anchored(const QRect& rect, const QSize& grow) {
  return rect.adjusted(0, 0, grow.width(), grow.height());
}

}  // namespace

TDlgMemo::TDlgMemo(TableModel& dataSource, QWidget* parent)
    : QDialog(parent), dataSource_(dataSource) {
  setObjectName(QStringLiteral("DlgMemo"));
  setWindowTitle(QStringLiteral("Memo"));
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Label1 = new QLabel(QStringLiteral("Memo"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Memo = new QPlainTextEdit(this);
  Memo->setObjectName(QStringLiteral("Memo"));
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->installEventFilter(this);
  connect(Memo, &QPlainTextEdit::textChanged, this, [this] { memoChanged(); });
  resize(kClientWidth, kClientHeight);
  FormCreate();
}

void TDlgMemo::FormCreate() {
  // The first size is the smallest; larger is allowed.
  setMinimumSize(size());
  setSizeGripEnabled(true);
}

void TDlgMemo::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const QSize grow = size() - QSize(kClientWidth, kClientHeight);
  Bevel1->setGeometry(anchored(kBevel, grow));
  Label1->setGeometry(kLabel);
  Memo->setGeometry(anchored(kMemo, grow));
}

void TDlgMemo::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  discard_ = false;
  loadField();
  Memo->setFocus();
}

void TDlgMemo::loadField() {
  const QScopedValueRollback<bool> loading(loading_, true);
  engine::TTable& table = dataSource_.table();
  QString text;
  try {
    if (table.Active()) text = QString::fromStdString(table.FieldByName(dataField_.toStdString()).AsString());
  } catch (const std::exception& failure) {
    tools::MessageDlg(QString::fromUtf8(failure.what()), tools::MsgDlgType::mtError, tools::mbOK);
  }
  // Changed lines are written back with the line breaks the memo had.
  lineBreak_ = text.contains(QLatin1Char('\n')) && !text.contains(QStringLiteral("\r\n"))
                   ? QStringLiteral("\n")
                   : QStringLiteral("\r\n");
  Memo->setPlainText(text);
  Memo->document()->setModified(false);
  Memo->setReadOnly(!dataSource_.autoEdit() && !(table.Active() && IsEditing(table.State())));
}

void TDlgMemo::memoChanged() {
  if (loading_ || !Memo->document()->isModified()) return;
  engine::TTable& table = dataSource_.table();
  if (IsEditing(table.State())) return;
  // The first change of the text puts the record into editing.
  try {
    table.Edit();
  } catch (const std::exception& failure) {
    tools::MessageDlg(QString::fromUtf8(failure.what()), tools::MsgDlgType::mtError, tools::mbOK);
    loadField();
  }
}

bool TDlgMemo::closingKey(QKeyEvent* key) {
  const Qt::KeyboardModifiers held =
      key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (key->key() == Qt::Key_Escape) {
    discard_ = true;
    reject();
    return true;
  }
  if (key->key() == tools::KeyPost && held == Qt::NoModifier) {
    accept();
    return true;
  }
  return false;
}

bool TDlgMemo::eventFilter(QObject* watched, QEvent* event) {
  // The dialog sees the memo control's keys first.
  if (watched == Memo && event->type() == QEvent::KeyPress &&
      closingKey(static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TDlgMemo::keyPressEvent(QKeyEvent* event) {
  if (!closingKey(event)) QDialog::keyPressEvent(event);
}

void TDlgMemo::handOver() {
  if (discard_ || !Memo->document()->isModified()) return;
  engine::TTable& table = dataSource_.table();
  try {
    if (!table.Active() || !IsEditing(table.State())) return;
    QString text = Memo->toPlainText();
    if (lineBreak_ != QStringLiteral("\n")) text.replace(QLatin1Char('\n'), lineBreak_);
    table.FieldByName(dataField_.toStdString()).SetAsString(text.toStdString());
    Memo->document()->setModified(false);
  } catch (const std::exception& failure) {
    tools::MessageDlg(QString::fromUtf8(failure.what()), tools::MsgDlgType::mtError, tools::mbOK);
  }
}

void TDlgMemo::done(int result) {
  // Every close hands a changed text over, except Esc.
  handOver();
  QDialog::done(result);
}

}  // namespace app
