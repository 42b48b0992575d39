#include "cli/foreign_lock_option.h"

#include <iostream>

#include "io/file_system.h"

namespace cli {

namespace {

engine::ForeignUse FindUse(const TablePath& table) {
  return engine::FindForeignUse(engine::DefaultFileSystem(), table.directory, table.name);
}

// Lock files lie beside an existing table and no one holds them: what the option goes on past.
// A new table replaces nothing of another program's, and a held lock refuses whatever is said.
bool MayBeLeftOver(const engine::ForeignUse& use) {
  return use.Present() && !use.Held() && engine::DefaultFileSystem().Exists(use.tablePath);
}

// " PDOXUSRS.LCK KUNDEN.LCK"
std::string FileNames(const engine::ForeignUse& use) {
  std::string names;
  for (const engine::ForeignLockFile& file : use.files) names += " " + file.name;
  return names;
}

}  // namespace

std::unique_ptr<engine::ForeignLockConsent> ConsentToForeignLocks(bool ignore, const TablePath& table) {
  if (!ignore) return nullptr;
  const engine::ForeignUse use = FindUse(table);
  if (!MayBeLeftOver(use)) return nullptr;
  std::cerr << "Hinweis: Die Sperrdateien anderer Programme neben „" << use.tablePath
            << "“ werden auf Wunsch übergangen:" << FileNames(use) << '\n';
  return std::make_unique<engine::ForeignLockConsent>(engine::DefaultFileSystem(), use);
}

int ReportFailedChange(const engine::EDBEngineError& error, bool ignore, const TablePath& table) {
  std::cerr << error.what() << '\n';
  if (ignore || error.ErrorCode() != engine::kErrLocked) return 1;
  const engine::ForeignUse use = FindUse(table);
  if (!MayBeLeftOver(use)) return 1;
  std::cerr << "Neben der Tabelle liegen Sperrdateien anderer Programme, die niemand gesperrt hält:"
            << FileNames(use) << ". Sind sie sicher veraltet, führt die Option --ignore-foreign-locks den "
            << "Befehl trotzdem aus.\n";
  return 1;
}

}  // namespace cli
