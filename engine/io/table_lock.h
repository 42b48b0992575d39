#pragma once
// Sharing rules for tables: a table opened by one component is known to every component of
// the process, and to other processes through the file system's locks. An exclusive open fails
// while anyone else has the table open; a shared open fails while someone holds it exclusively.
// Failures raise EDBEngineError (kErrLocked) with a German message naming the table.
//
// TableLockRegistry keeps the part inside the process for a file system: which tables are held,
// by how many, and whether exclusively. The lock of the operating system, where the file system
// has one, is taken for a table's first holder in the process and speaks for all of them until
// the last one goes.

#include <functional>
#include <memory>
#include <string>

#include "io/file_system.h"

namespace engine {

class TableLockRegistry {
 public:
  // The operating system's lock on a table, or null when there is none to take; raises
  // kErrLocked (RefuseHeldElsewhere) when another process holds the table.
  using SystemLock = std::function<std::unique_ptr<TableLock>()>;

  TableLockRegistry();
  ~TableLockRegistry();
  TableLockRegistry(const TableLockRegistry&) = delete;
  TableLockRegistry& operator=(const TableLockRegistry&) = delete;

  // Admits a holder of the table whose canonical path is `key` (`path`, as the caller spelt it,
  // names it in messages), taking `systemLock` (may be empty) for its first holder. Thread-safe.
  std::unique_ptr<TableLock> Acquire(const std::string& key, const std::string& path, bool exclusive,
                                     const SystemLock& systemLock);

  struct State;  // the registry's content, shared with the locks handed out

 private:
  std::shared_ptr<State> state_;
};

// Refuses the table at `path` because another process holds it.
[[noreturn]] void RefuseHeldElsewhere(const std::string& path, bool exclusive);

}  // namespace engine
