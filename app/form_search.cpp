// TFormMain: key search over the current index and the index composition box.

#include <QComboBox>
#include <QLineEdit>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/db_grid.h"
#include "app/index_composition.h"
#include "app/key_search.h"
#include "app/table_model.h"
#include "app/unit_main.h"
#include "component/table.h"
#include "tools/dialogs.h"

namespace app {
namespace {

engine::TField& fieldNamed(engine::TTable& table, const QString& name) {
  return table.FieldByName(name.toStdString());
}

}  // namespace

const engine::TIndexDef& TFormMain::chosenIndexDef() {
  engine::TIndexDefs& defs = tabelle_->IndexDefs();
  const int entry = qMax(0, ComboBoxIndex->currentIndex());
  if (entry >= defs.Count()) {
    throw std::runtime_error("Die Tabelle hat keinen Index, nach dem gesucht werden kann.");
  }
  return defs[entry];
}

void TFormMain::SearchKey() {
  if (!tabelle_->Active() || EditSuchtext->text().isEmpty()) return;
  runCommand([this] {
    const engine::TIndexDef& index = chosenIndexDef();
    const KeyValues keys = PairKeyValues(
        EditSuchtext->text(), QString::fromStdString(index.Fields), [this](const QString& name) {
          return fieldNamed(*tabelle_, name).DataType() == engine::ftDate;
        });
    if (!keys.withinLimit) {
      tools::MessageDlg(QString::fromUtf8(kTooManyKeyValues), tools::MsgDlgType::mtInformation,
                        tools::mbOK);
      return;
    }
    EditSuchtext->setText(keys.searchText());
    std::vector<std::string> values;
    for (const QString& value : keys.values) values.push_back(value.toStdString());
    // The search completes an edit in progress: a cell still open is handed over first.
    DBGrid->commitCellEditor();
    tabelle_->FindKey(values);
    DBGrid->setFocus();
  });
}

void TFormMain::FocusSearchText() {
  EditSuchtext->setFocus(Qt::ShortcutFocusReason);
  EditSuchtext->selectAll();
}

void TFormMain::ToolButtonInfoClick() {
  if (!tabelle_->Active()) return;
  runCommand([this] {
    const engine::TIndexDef& index = chosenIndexDef();
    const QString text = IndexCompositionText(
        QString::fromStdString(index.Fields), QString::fromStdString(index.DescFields),
        [this](const QString& name) { return fieldNamed(*tabelle_, name).DataType(); });
    tools::MessageDlg(text, tools::MsgDlgType::mtInformation, tools::mbOK);
  });
}

}  // namespace app
