#include "family/table_access.h"

#include "family/family_swap.h"
#include "io/engine_error.h"
#include "io/fail.h"

namespace engine {

namespace {

// Leftovers of a commit or a post; a directory that cannot be listed has none (the open that
// follows reports it).
bool Leftovers(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  try {
    return HasCommitLeftovers(fs, dir, dbName);
  } catch (const EDBEngineError&) {
    return false;
  }
}

// Leftovers that leave the family half changed.
bool Unsettled(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  try {
    return HasUnsettledChanges(fs, dir, dbName);
  } catch (const EDBEngineError&) {
    return false;
  }
}

}  // namespace

std::unique_ptr<TableLock> LockTableSettled(FileSystem& fs, const std::string& dir, const std::string& dbName,
                                            bool exclusive) {
  const std::string path = dir + dbName;
  if (!exclusive && Leftovers(fs, dir, dbName)) {
    // Leftovers seen without a lock may be a writer's at work: the exclusive lock tells. Refused
    // means another process holds the table; the shared lock below then decides.
    try {
      const auto writer = fs.Lock(path, true);
      RecoverTableFamily(fs, dir, dbName);
    } catch (const EDBEngineError& e) {
      if (e.ErrorCode() != kErrLocked) throw;
    }
  }
  auto lock = fs.Lock(path, exclusive);
  if (exclusive) {
    RecoverTableFamily(fs, dir, dbName);
  } else if (Unsettled(fs, dir, dbName)) {
    Fail(kErrLocked, path, "Eine unterbrochene Änderung der Tabelle ist noch nicht abgeschlossen, während ein "
                           "anderes Programm die Tabelle liest; bitte später erneut versuchen.");
  }
  return lock;
}

void SettleTablesIn(FileSystem& fs, const std::string& dir) {
  for (const std::string& dbName : TablesWithCommitLeftovers(fs, dir)) {
    try {
      LockTableSettled(fs, dir, dbName, true);
    } catch (const EDBEngineError& e) {
      if (e.ErrorCode() != kErrLocked) throw;
    }
  }
}

}  // namespace engine
