#include "cli/sqlite_export.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <memory>

#include "cli/durable_replace.h"
#include "cli/row_pipeline.h"

namespace cli {

namespace {

// Digits a double keeps exactly; BCD columns with longer values are stored as text.
constexpr int kExactDigits = 15;

std::string Identifier(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

int SignificantDigits(const std::string& decimal) {
  std::string digits;
  for (const char c : decimal)
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  const size_t last = decimal.find('.') == std::string::npos ? digits.size() - 1 : digits.find_last_not_of('0');
  return static_cast<int>(last - first + 1);
}

const char* SqlType(engine::ColumnKind kind) {
  switch (kind) {
    case engine::ColumnKind::Integer: return "INTEGER";
    case engine::ColumnKind::Real: return "REAL";
    case engine::ColumnKind::Numeric: return "NUMERIC";
    case engine::ColumnKind::Text: return "TEXT";
    case engine::ColumnKind::Binary: return "BLOB";
  }
  return "BLOB";
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Raised while writing a table whose only key column became SQLite's row id, on a row whose key
// is null: the row id would give it a number instead.
struct NullRowIdKey {};

void AppendFindings(const engine::ReadFindings& from, engine::ReadFindings* to) {
  to->notes.insert(to->notes.end(), from.notes.begin(), from.notes.end());
  to->unreadable.insert(to->unreadable.end(), from.unreadable.begin(), from.unreadable.end());
}

// Rows one INSERT stores: a statement per row costs SQLite about a third more. The values
// bound to one statement stay below the smallest limit SQLite may be built with.
constexpr size_t kRowsPerStatement = 64;
constexpr size_t kMostBoundValues = 999;

std::string InsertSql(const std::string& table, size_t columns, size_t rows) {
  std::string row = "(";
  for (size_t i = 0; i < columns; ++i) row += i ? ", ?" : "?";
  row += ")";
  std::string sql = "INSERT INTO " + table + " VALUES ";
  for (size_t r = 0; r < rows; ++r) sql += (r ? ", " : "") + row;
  return sql;
}

void Bind(sqlite3_stmt* statement, int at, const engine::Cell& c) {
  switch (c.kind) {
    case engine::CellKind::Null: sqlite3_bind_null(statement, at); break;
    case engine::CellKind::Integer: case engine::CellKind::Logical: sqlite3_bind_int64(statement, at, c.integer); break;
    case engine::CellKind::Real: sqlite3_bind_double(statement, at, c.real); break;
    case engine::CellKind::Bytes: sqlite3_bind_blob64(statement, at, c.text.data(), c.text.size(), SQLITE_STATIC); break;
    default: sqlite3_bind_text64(statement, at, c.text.data(), c.text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }
}

}  // namespace

SqliteExport::SqliteExport(const std::string& file) : file_(file), temp_(file + ".~kbtmp") {
  // SQLite's count of the memory it holds takes a lock at every allocation and costs the
  // inserts about a tenth of their time; nothing here reads it. It can only be switched off
  // before SQLite is first used in the process (later it stays on, which changes nothing else),
  // so it is tried once, by the first export.
  static const int memoryCountOff = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  static_cast<void>(memoryCountOff);
  std::remove(temp_.c_str());
  if (sqlite3_open_v2(temp_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK)
    Failed("Die SQLite-Datenbank „" + temp_ + "“ kann nicht angelegt werden");
  // The file is new and only put in place when complete: it needs no syncs, and its rollback
  // journal, which a table that fails half-way is rolled back with, can stay in memory.
  Execute("PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; BEGIN");
}

SqliteExport::~SqliteExport() {
  if (db_) {
    sqlite3_close(db_);
    std::remove(temp_.c_str());
  }
}

void SqliteExport::Failed(const std::string& what) {
  const std::string reason = db_ ? sqlite3_errmsg(db_) : "kein Speicher";
  throw ExportError(what + ": " + reason + ".");
}

void SqliteExport::StatementCloser::operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }

SqliteExport::Statement SqliteExport::Prepare(const std::string& sql, const std::string& table) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    Failed("SQLite lehnt das Einfügen in " + table + " ab");
  return Statement(raw);
}

void SqliteExport::Execute(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Failed("SQLite lehnt „" + sql + "“ ab");
}

std::string SqliteExport::UniqueTableName(const std::string& base) {
  std::string name = base;
  for (int n = 2; usedNames_.count(Lower(name)); ++n) name = base + "_" + std::to_string(n);
  usedNames_.insert(Lower(name));
  return name;
}

void SqliteExport::AddTable(engine::FileSystem& fs, const std::string& tablePath, engine::ReadFindings* findings,
                            const engine::ProgressFn& progress) {
  const std::string table = Identifier(UniqueTableName(BaseName(tablePath)));
  // A table that fails leaves nothing behind; the tables before it stay.
  Execute("SAVEPOINT tabelle");
  try {
    // A single INTEGER key column is SQLite's row id, the fastest layout, but it cannot hold
    // null: a table with a null key is written again with the column declared INT, which has
    // the same affinity and keeps the null.
    engine::ReadFindings firstTry;
    try {
      WriteTable(fs, tablePath, table, true, findings ? &firstTry : nullptr, progress);
      if (findings) AppendFindings(firstTry, findings);
    } catch (const NullRowIdKey&) {
      Execute("ROLLBACK TO tabelle");
      WriteTable(fs, tablePath, table, false, findings, progress);
    }
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK TO tabelle; RELEASE tabelle", nullptr, nullptr, nullptr);
    throw;
  }
  Execute("RELEASE tabelle");
}

void SqliteExport::WriteTable(engine::FileSystem& fs, const std::string& tablePath, const std::string& table,
                              bool keyAsRowId, engine::ReadFindings* findings, const engine::ProgressFn& progress) {
  engine::TableShape shape;
  std::vector<bool> longDecimals;
  // BCD values longer than a double keeps would lose digits in a NUMERIC column: such columns
  // are found first and stored as TEXT.
  bool bcd = false;
  engine::ReadTableRows(fs, tablePath, [&](const engine::TableShape& s) {
    shape = s;
    longDecimals.assign(s.columns.size(), false);
    for (const auto& c : s.columns) bcd |= c.type == engine::PxType::Bcd;
    return false;
  }, [](const std::vector<engine::Cell>&) {}, nullptr, {});
  if (bcd)
    engine::ReadTableRows(fs, tablePath, [](const engine::TableShape&) { return true; }, [&](const std::vector<engine::Cell>& cells) {
      for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].kind == engine::CellKind::Decimal && SignificantDigits(cells[i].text) > kExactDigits)
          longDecimals[i] = true;
    });
  const bool integerKey = shape.keyFields == 1 && !longDecimals[0] && shape.columns[0].kind == engine::ColumnKind::Integer;
  std::string create = "CREATE TABLE " + table + " (";
  for (size_t i = 0; i < shape.columns.size(); ++i)
    create += (i ? ", " : "") + Identifier(shape.columns[i].name) + " " +
              (longDecimals[i] ? "TEXT" : i == 0 && integerKey && !keyAsRowId ? "INT" : SqlType(shape.columns[i].kind));
  if (shape.keyFields > 0) {
    create += ", PRIMARY KEY (";
    for (int i = 0; i < shape.keyFields; ++i) create += (i ? ", " : "") + Identifier(shape.columns[i].name);
    create += ")";
  }
  Execute(create + ")");
  const size_t columns = shape.columns.size();
  const size_t perStatement = std::clamp<size_t>(kMostBoundValues / std::max<size_t>(columns, 1), 1, kRowsPerStatement);
  const Statement single = Prepare(InsertSql(table, columns, 1), table);
  const Statement many = Prepare(InsertSql(table, columns, perStatement), table);
  uint64_t stored = 0;
  const bool rowIdKey = integerKey && keyAsRowId;
  // The largest row id stored, none yet at first. A key one above it (1 in an empty table) is left
  // to SQLite to give, which gives the same number without searching the table for a row that
  // has it already; with only negative keys stored that number is not 1.
  constexpr int64_t kNoRowId = std::numeric_limits<int64_t>::min();
  int64_t largestRowId = kNoRowId;
  // Stores `count` rows from `cells` with `statement` (made for that many).
  auto store = [&](sqlite3_stmt* statement, const engine::Cell* cells, size_t count) {
    int64_t largest = largestRowId;
    // The cells stay as they are until the rows are stored: bound without copying.
    for (size_t r = 0; r < count; ++r) {
      const engine::Cell* row = cells + r * columns;
      const int first = static_cast<int>(r * columns) + 1;
      size_t i = 0;
      if (rowIdKey) {
        if (row[0].kind == engine::CellKind::Null) throw NullRowIdKey{};
        if (row[0].integer == (largest == kNoRowId ? 1 : largest + 1)) {
          sqlite3_bind_null(statement, first);
          i = 1;
        }
        largest = std::max(largest, row[0].integer);
      }
      for (; i < columns; ++i) Bind(statement, first + static_cast<int>(i), row[i]);
    }
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    if (done) largestRowId = largest;
    return done;
  };
  RowPipeline rows(fs, tablePath, columns, findings);
  size_t count = 0;
  while (const engine::Cell* cells = rows.Next(&count)) {
    for (size_t r = 0; r < count;) {
      const size_t n = count - r >= perStatement ? perStatement : 1;
      // Of rows refused together, each is tried alone, so that the one refused is named.
      if (n == 1 || !store(many.get(), cells + r * columns, n))
        for (size_t k = 0; k < n; ++k)
          if (!store(single.get(), cells + (r + k) * columns, 1))
            Failed("Datensatz " + std::to_string(stored + k + 1) + " der Tabelle „" + tablePath +
                   "“ kann nicht übernommen werden");
      r += n;
      for (size_t k = 0; k < n; ++k) {
        ++stored;
        if (progress) progress(stored);
      }
    }
  }
  for (size_t k = 0; k < shape.indexes.size(); ++k) {
    const auto& ix = shape.indexes[k];
    std::string indexed;
    for (size_t i = 0; i < ix.fields.size(); ++i) {
      const auto& column = shape.columns[static_cast<size_t>(ix.fields[i])];
      indexed += (i ? ", " : "") + Identifier(column.name);
      if (ix.caseInsensitive && column.kind == engine::ColumnKind::Text) indexed += " COLLATE NOCASE";
      if (i < ix.descending.size() && ix.descending[i]) indexed += " DESC";
    }
    const std::string name = Identifier(BaseName(tablePath) + "_" + (ix.name.empty() ? std::to_string(k) : ix.name));
    Execute(std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " + name + " ON " + table + " (" +
            indexed + ")");
  }
}

void SqliteExport::Finish() {
  Execute("COMMIT");
  if (sqlite3_close(db_) != SQLITE_OK) Failed("Die SQLite-Datenbank kann nicht geschlossen werden");
  db_ = nullptr;
  if (!ReplaceDurably(temp_, file_)) throw ExportError("Die Datei „" + file_ + "“ kann nicht geschrieben werden.");
}

}  // namespace cli
