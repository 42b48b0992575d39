#include "app/foreign_lock_warning.h"

#include "tools/foreign_lock_dialogs.h"

void WarnForeignLocksOnce(const engine::TTable& table, bool* warned) {
  if (*warned || table.TableName().empty()) return;
  *warned = tools::WarnOfForeignUse(table.DatabaseName(), table.TableName());
}
