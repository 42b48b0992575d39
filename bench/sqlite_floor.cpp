#include "bench/sqlite_floor.h"

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "bench/stopwatch.h"

namespace bench {

namespace {

class Database {
 public:
  explicit Database(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Fail("open " + path);
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Execute(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  // The first column of every row `sql` gives.
  std::vector<std::string> Texts(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    std::vector<std::string> texts;
    while (sqlite3_step(statement) == SQLITE_ROW)
      texts.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return texts;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("SQLite: " + what + ": " + sqlite3_errmsg(db_));
  }
  sqlite3* db_ = nullptr;
};

std::string Quoted(const std::string& text, char mark) {
  std::string out(1, mark);
  for (const char c : text) {
    if (c == mark) out += mark;
    out += c;
  }
  return out + mark;
}

}  // namespace

double SqliteCopySeconds(const std::string& from, const std::string& to) {
  std::remove(to.c_str());
  Stopwatch w;
  {
    Database db(to);
    // As the export writes its file: no syncs, the rollback journal in memory, one transaction.
    db.Execute("PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF");
    db.Execute("ATTACH " + Quoted(from, '\'') + " AS source");
    const std::vector<std::string> tables =
        db.Texts("SELECT name FROM source.sqlite_master WHERE type = 'table' ORDER BY rowid");
    const std::vector<std::string> tableSql =
        db.Texts("SELECT sql FROM source.sqlite_master WHERE type = 'table' ORDER BY rowid");
    const std::vector<std::string> indexSql =
        db.Texts("SELECT sql FROM source.sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY rowid");
    db.Execute("BEGIN");
    for (size_t i = 0; i < tables.size(); ++i) {
      db.Execute(tableSql[i]);
      db.Execute("INSERT INTO main." + Quoted(tables[i], '"') + " SELECT * FROM source." + Quoted(tables[i], '"'));
    }
    for (const std::string& sql : indexSql) db.Execute(sql);
    db.Execute("COMMIT");
  }
  const double seconds = w.Seconds();
  std::remove(to.c_str());
  return seconds;
}

}  // namespace bench
