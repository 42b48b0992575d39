#include "cli/foreign_lock_option.h"

#include <iostream>

#include "io/file_system.h"

namespace cli {

namespace {

engine::ForeignUse FindUse(const TablePath& table) {
  return engine::FindForeignUse(engine::DefaultFileSystem(), table.directory, table.name);
}

}  // namespace

std::unique_ptr<engine::ForeignLockConsent> ConsentToForeignLocks(bool ignore, const TablePath& table) {
  if (!ignore) return nullptr;
  const engine::ForeignUse use = FindUse(table);
  // A new table replaces nothing of another program's: nothing to go on past.
  if (!use.Present() || use.Held() || !engine::DefaultFileSystem().Exists(use.tablePath)) return nullptr;
  std::cerr << "Hinweis: Die Sperrdateien anderer Programme neben „" << table.directory << table.name
            << "“ werden auf Wunsch übergangen:";
  for (const engine::ForeignLockFile& file : use.files) std::cerr << ' ' << file.name;
  std::cerr << '\n';
  return std::make_unique<engine::ForeignLockConsent>(engine::DefaultFileSystem(), use);
}

void HintAtForeignLockOption(bool ignore, const TablePath& table) {
  if (ignore) return;
  const engine::ForeignUse use = FindUse(table);
  if (use.Present() && !use.Held())
    std::cerr << "Sind diese Sperrdateien sicher veraltet, führt die Option --ignore-foreign-locks den Befehl "
                 "trotzdem aus.\n";
}

}  // namespace cli
