#include "tools/table_password.h"

#include <QFile>
#include <QString>

#include "component/table.h"
#include "io/engine_error.h"
#include "tools/dialogs.h"

namespace tools {

namespace {

// Opens `table` and counts its rows: counting walks the whole block chain, so that a damaged
// table is refused here and left closed, as when opening it fails.
void OpenWalkingTheChain(engine::TTable& table) {
  table.Open();
  try {
    table.RecordCount();
  } catch (...) {
    table.Close();
    throw;
  }
}

}  // namespace

void OpenTableAskingPassword(engine::TTable& table, QWidget* parent) {
  const QString prompt = QString::fromUtf8("Kennwort für Tabelle „%1“:").arg(QFile::decodeName(table.TableName().c_str()));
  bool wrong = false;
  while (true) {
    try {
      OpenWalkingTheChain(table);
      return;
    } catch (const engine::EDBEngineError& e) {
      if (e.ErrorCode() != engine::kErrPasswordProtected) throw;
    }
    QString password;
    const QString text = wrong ? QString::fromUtf8("Das Kennwort ist falsch.\n") + prompt : prompt;
    if (!Dialogs().InputPassword(parent, QStringLiteral("Kennwort"), text, &password)) {
      table.SetPassword(std::string());
      throw engine::EAbort();
    }
    table.SetPassword(password.toStdString());
    wrong = true;
  }
}

}  // namespace tools
