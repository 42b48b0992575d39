#pragma once
// Tables into one SQLite database through the SQLite library: per table a SQLite table named
// after it with typed columns (INTEGER, REAL, NUMERIC, TEXT, BLOB), the primary key as PRIMARY
// KEY, each secondary index as CREATE INDEX, nulls as NULL. Everything is written in one
// transaction into a temporary file beside the target, which replaces the target only when
// every table is in: a failure leaves the target as it was.

#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "direct/table_rows.h"

struct sqlite3;
struct sqlite3_stmt;

namespace cli {

// A failure of the export, with a German message.
class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqliteExport {
 public:
  // Starts a new database that will replace `file`. Raises ExportError.
  explicit SqliteExport(const std::string& file);
  ~SqliteExport();
  SqliteExport(const SqliteExport&) = delete;
  SqliteExport& operator=(const SqliteExport&) = delete;

  // Adds the table at `tablePath`. Raises engine::EDBEngineError when the table cannot be read,
  // ExportError when the database refuses it (e.g. a key that occurs twice in a damaged table);
  // the database then holds the tables added before, and another may be added.
  void AddTable(engine::FileSystem& fs, const std::string& tablePath, engine::ReadFindings* findings,
                const engine::ProgressFn& progress);
  // Commits and puts the database in place of the target file. Raises ExportError.
  void Finish();

 private:
  // Writes the table as SQLite table `table` (quoted); `keyAsRowId`: a single INTEGER key
  // column may become the row id (raises NullRowIdKey on a null key).
  void WriteTable(engine::FileSystem& fs, const std::string& tablePath, const std::string& table, bool keyAsRowId,
                  engine::ReadFindings* findings, const engine::ProgressFn& progress);
  struct StatementCloser {
    void operator()(sqlite3_stmt* s) const;
  };
  using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;
  // Raises ExportError naming `table` when SQLite refuses `sql`.
  Statement Prepare(const std::string& sql, const std::string& table);
  void Execute(const std::string& sql);
  [[noreturn]] void Failed(const std::string& what);
  std::string UniqueTableName(const std::string& base);

  std::string file_;
  std::string temp_;
  sqlite3* db_ = nullptr;
  std::set<std::string> usedNames_;  // lower-cased, as SQLite compares names
};

}  // namespace cli
