#pragma once
// Sharing rules for tables: a table opened by one component is known to every component of
// the process, and to other processes through operating-system file locks. An exclusive open
// fails while anyone else has the table open; a shared open fails while someone holds it
// exclusively. Failures raise EDBEngineError (kErrLocked) with a German message naming the table.

#include <memory>
#include <string>

namespace engine {

class TableLock {
 public:
  // dataFilePath: full path of the .DB file. Holds the lock until destroyed.
  static std::unique_ptr<TableLock> Acquire(const std::string& dataFilePath, bool exclusive);
  virtual ~TableLock() = default;
};

}  // namespace engine
