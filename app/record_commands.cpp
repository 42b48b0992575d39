// TFormMain: the record commands (edit mode, post, the two-step deletion, insertion from the
// grid, the record count), the editing keys and the memo command.

#include <QKeyEvent>
#include <QMetaObject>
#include <QToolButton>

#include "app/db_grid.h"
#include "app/record_state.h"
#include "app/table_model.h"
#include "app/unit_dlg_memo.h"
#include "app/unit_main.h"
#include "component/table.h"
#include "tools/dialogs.h"
#include "tools/tramek_tools.h"

namespace app {
namespace {

constexpr const char* kDeleteQuestion = "Den Datensatz wirklich löschen?";
constexpr const char* kDeleteSecondQuestion = "Nicht anders überlegt?";
constexpr const char* kGridDeleteQuestion = "Datensatz löschen?";
constexpr const char* kRecordsSuffix = " Datensätze.";
constexpr const char* kNotAMemo = "Das gewählte Feld ist nicht vom Typ Memo!";

}  // namespace

void TFormMain::FormKeyDown(QKeyEvent* key) {
  const Qt::KeyboardModifiers held =
      key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (held != Qt::NoModifier || !tabelle_->Active()) return;
  const int pressed = key->key();
  if (pressed == tools::KeyMemo) {
    ButtonMemoClick();
  } else if (pressed == tools::KeyEdit) {
    ToolButtonEdit->setChecked(true);
    ToolButtonEditClick();
  } else if (pressed == tools::KeyPost) {
    postRecord();
  } else if (pressed == tools::KeyDelete) {
    deleteWithTwoQuestions();
  }
}

void TFormMain::FormKeyPress(QKeyEvent* key, QWidget* target) {
  if (key->key() != Qt::Key_Escape) return;
  const bool inGrid = target == DBGrid || DBGrid->isAncestorOf(target);
  // The focused control sees the Esc first (a cell editor closes without handing its text
  // over); the window acts once it has.
  QMetaObject::invokeMethod(this, [this, inGrid] { escapePressed(inGrid); }, Qt::QueuedConnection);
}

void TFormMain::escapePressed(bool inGrid) {
  if (inGrid && tabelle_->Active() && IsEditing(tabelle_->State())) {
    DBGrid->discardCellEditor();
    runCommand([this] { tabelle_->Cancel(); });
  }
  FocusSearchText();
}

void TFormMain::postRecord() {
  DBGrid->commitCellEditor();
  if (!IsEditing(tabelle_->State())) return;
  runCommand([this] { tabelle_->Post(); });
}

void TFormMain::deleteWithTwoQuestions() {
  if (tools::MessageDlg(QString::fromUtf8(kDeleteQuestion), tools::MsgDlgType::mtConfirmation,
                        tools::mbYes | tools::mbNo) != tools::mrYes) {
    return;
  }
  // The second question asks whether the user has not changed their mind: No goes ahead.
  if (tools::MessageDlg(QString::fromUtf8(kDeleteSecondQuestion),
                        tools::MsgDlgType::mtConfirmation,
                        tools::mbYes | tools::mbNo) != tools::mrNo) {
    return;
  }
  DBGrid->discardCellEditor();
  runCommand([this] { tabelle_->Delete(); });
}

void TFormMain::deleteAfterGridConfirmation() {
  if (!tabelle_->Active()) return;
  if (tools::MessageDlg(QString::fromUtf8(kGridDeleteQuestion), tools::MsgDlgType::mtConfirmation,
                        tools::mbOK | tools::mbCancel) != tools::mrOk) {
    return;
  }
  DBGrid->discardCellEditor();
  runCommand([this] { tabelle_->Delete(); });
}

void TFormMain::TTabelleBeforeInsert() {
  // Without edit mode an insertion from the grid is refused without a word.
  if (!ToolButtonEdit->isChecked()) throw engine::EAbort();
}

void TFormMain::insertRecord(bool append) {
  if (!tabelle_->Active()) return;
  DBGrid->commitCellEditor();
  // Arrow down on a new record that is still empty adds no second one.
  if (append && tabelle_->State() == engine::TDataSetState::dsInsert && !tabelle_->Modified()) {
    return;
  }
  runCommand([this, append] {
    if (append)
      tabelle_->Append();
    else
      tabelle_->Insert();
  });
  tableScrolled();
}

void TFormMain::ButtonRecordCountClick() {
  if (!tabelle_->Active()) return;
  runCommand([this] {
    tools::MessageDlg(QString::number(tabelle_->RecordCount()) + QString::fromUtf8(kRecordsSuffix),
                      tools::MsgDlgType::mtInformation, tools::mbOK);
  });
}

void TFormMain::ButtonMemoClick() {
  const QModelIndex cell = DBGrid->currentIndex();
  if (!tabelle_->Active() || !cell.isValid() || cell.column() >= tabelle_->FieldCount()) return;
  runCommand([this, &cell] {
    engine::TField& field = tabelle_->Fields(cell.column());
    if (field.DataType() != engine::ftMemo) {
      tools::MessageDlg(QString::fromUtf8(kNotAMemo), tools::MsgDlgType::mtError, tools::mbOK);
      return;
    }
    if (memoDialog_ == nullptr) return;
    DBGrid->commitCellEditor();
    memoDialog_->setDataField(QString::fromStdString(field.FieldName()));
    memoDialog_->exec();
    dsTabelle_->refreshRows();
  });
}

void TFormMain::tableScrolled() {
  dsTabelle_->refreshRows();
  syncGridToCursor();
}

}  // namespace app
