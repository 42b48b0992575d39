// kerbolt-cli export as a user runs it: every readable sample exported to SQLite and CSV reads
// back equal to its expected dump, value for value; failures leave the target as it was.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

#include "cli/tests/cli_support.h"
#include "cli/tests/dump_cells.h"
#include "component/bulk_table.h"
#include "component/table.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fixtures = testsupport::fixtures;
using cli_test::CliRun;
using cli_test::DumpTable;
using cli_test::RunCli;
using testsupport::CopyTable;
using testsupport::ReadText;
using testsupport::TempDir;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += digits[static_cast<unsigned char>(c) >> 4];
    out += digits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Double17(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

bool IsBlobToken(const std::string& type) { return std::string("MFBOG").find(type[0]) != std::string::npos; }

// Whether a value read back from SQLite equals the dump's cell of a field of type `type`.
bool SqliteMatches(sqlite3_stmt* s, int column, const std::string& type, const std::string& dump, std::string* got) {
  const int kind = sqlite3_column_type(s, column);
  const auto* blob = static_cast<const char*>(sqlite3_column_blob(s, column));
  const std::string bytes(blob ? blob : "", static_cast<size_t>(sqlite3_column_bytes(s, column)));
  *got = std::to_string(kind) + ":" + bytes;
  if (dump.empty() || dump == "?") return kind == SQLITE_NULL;
  switch (type[0]) {
    case 'A': case 'D': case 'T': case '@':
      return kind == SQLITE_TEXT && bytes == dump;
    case 'S': case 'I': case '+':
      return kind == SQLITE_INTEGER && std::to_string(sqlite3_column_int64(s, column)) == dump;
    case 'L':
      return kind == SQLITE_INTEGER && sqlite3_column_int(s, column) == (dump == "true" ? 1 : 0);
    case 'N': case '$':
      return (kind == SQLITE_FLOAT || kind == SQLITE_INTEGER) && Double17(sqlite3_column_double(s, column)) == dump;
    case '#': {
      if (kind == SQLITE_TEXT) return bytes == dump;
      const double want = std::strtod(dump.c_str(), nullptr);
      return std::fabs(sqlite3_column_double(s, column) - want) <= 1e-12 * std::max(1.0, std::fabs(want));
    }
    case 'Y':
      return kind == SQLITE_BLOB && Hex(bytes) == dump;
    case 'M':
      return kind == SQLITE_TEXT && cli_test::MemoMatches(bytes, dump);
    default:
      return kind == SQLITE_BLOB && cli_test::BlobDigest(bytes) == dump;
  }
}

// The cells of an RFC 4180 text, rows ending in CRLF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row(1);
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        row.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        row.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.push_back(row);
      row.assign(1, "");
      ++i;
    } else {
      row.back() += c;
    }
  }
  return rows;
}

// Exports every fully dumped sample as `format` ("--csv" or "--sqlite") into `dir` + `file`
// and calls `check` with the sample, its expected dump and the folder; returns the samples
// checked. Password-protected samples are left out.
int ForEachExportedSample(const std::string& format, const std::string& file,
                          const std::function<void(const std::filesystem::path&, const DumpTable&, const TempDir&)>& check) {
  int tables = 0;
  for (const auto& table : fixtures::FullyDumped()) {
    const DumpTable dump = cli_test::ParseDump(ReadText(fixtures::ExpectedDump(table)));
    TempDir dir;
    const std::string path = CopyTable(table, dir.Path());
    const CliRun r = RunCli({"export", path, format, dir.Path() + file}, dir);
    if (r.status == 1 && r.err.find("Kennwort") != std::string::npos) continue;
    EXPECT_TRUE(r.status == 0 || r.status == 3) << table << ": " << r.err;
    check(table, dump, dir);
    ++tables;
  }
  return tables;
}

TEST(CliExport, SqliteReadsBackAsTheDump) {
  SKIP_WITHOUT_FIXTURES();
  const int tables = ForEachExportedSample("--sqlite", "out.sqlite", [](const auto& table, const auto& dump, const auto& dir) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2((dir.Path() + "out.sqlite").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
    sqlite3_stmt* s = nullptr;
    const std::string sql = "SELECT * FROM \"" + table.stem().string() + "\" ORDER BY rowid";
    ASSERT_EQ(sqlite3_prepare_v2(raw, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << table << sqlite3_errmsg(raw);
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(s, sqlite3_finalize);
    ASSERT_EQ(sqlite3_column_count(s), static_cast<int>(dump.names.size())) << table;
    for (size_t c = 0; c < dump.names.size(); ++c) EXPECT_EQ(sqlite3_column_name(s, static_cast<int>(c)), dump.names[c]);
    size_t row = 0;
    for (; sqlite3_step(s) == SQLITE_ROW && row < dump.rows.size(); ++row)
      for (size_t c = 0; c < dump.names.size(); ++c) {
        std::string got;
        EXPECT_TRUE(SqliteMatches(s, static_cast<int>(c), dump.types[c], dump.rows[row][c], &got))
            << table << " record " << row + 1 << " field " << dump.names[c] << ": dump „" << dump.rows[row][c]
            << "“, SQLite " << got;
      }
    EXPECT_EQ(row, dump.rows.size()) << table;
  });
  EXPECT_GT(tables, 80);
}

TEST(CliExport, CsvReadsBackAsTheDumpText) {
  SKIP_WITHOUT_FIXTURES();
  const int tables = ForEachExportedSample("--csv", "out.csv", [](const auto& table, const auto& dump, const auto& dir) {
    const auto rows = ParseCsv(ReadText(dir.Path() + "out.csv"));
    ASSERT_EQ(rows.size(), dump.rows.size() + 1) << table;
    EXPECT_EQ(rows[0], dump.names) << table;
    for (size_t i = 0; i < dump.rows.size(); ++i)
      for (size_t c = 0; c < dump.names.size(); ++c) {
        const std::string& want = dump.rows[i][c];
        const std::string& got = rows[i + 1].at(c);
        const std::string& type = dump.types[c];
        bool same;
        if (want == "?" || want.empty())
          same = got.empty();
        else if (type[0] == 'M')
          same = cli_test::MemoMatches(got, want);
        else if (IsBlobToken(type))
          same = cli_test::BlobDigest(Unhex(got)) == want;
        else
          same = got == want;
        EXPECT_TRUE(same) << table << " record " << i + 1 << " field " << dump.names[c] << ": dump „" << want
                          << "“, CSV „" << got << "“";
      }
  });
  EXPECT_GT(tables, 80);
}

TEST(CliExport, KeysAndIndexesBecomeSqliteKeysAndIndexes) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::BlockSize16K(), dir.Path());
  ASSERT_EQ(RunCli({"export", path, "--sqlite", dir.Path() + "out.sqlite"}, dir).status, 0);
  const CliRun schema = RunCli({"export", path, "--sqlite", dir.Path() + "out.sqlite"}, dir);  // replaces it
  EXPECT_EQ(schema.status, 0) << schema.err;
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir.Path() + "out.sqlite").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  std::string sql;
  auto collect = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) += std::string(values[0] ? values[0] : "") + "\n";
    return 0;
  };
  sqlite3_exec(raw, "SELECT sql FROM sqlite_master ORDER BY name", collect, &sql, nullptr);
  EXPECT_EQ(sql,
            "CREATE TABLE \"AREACODES\" (\"AC\" TEXT, \"State\" TEXT, \"Cities\" TEXT, PRIMARY KEY (\"AC\"))\n"
            "CREATE INDEX \"AREACODES_ste\" ON \"AREACODES\" (\"State\" COLLATE NOCASE)\n\n");
}

TEST(CliExport, DirectoryFormWritesEveryTable) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TempDir out;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::Unkeyed(), dir.Path());
  CliRun r = RunCli({"export", dir.Path(), "--csv", out.Path()}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2 Tabellen nach „" + out.Path() + "“ ausgegeben.\n");
  EXPECT_TRUE(std::filesystem::exists(out.Path() + "CUSTOMER.csv"));
  EXPECT_TRUE(std::filesystem::exists(out.Path() + "CONTACTS.csv"));
  r = RunCli({"export", dir.Path(), "--sqlite", out.Path() + "alle.sqlite"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunCli({"export", dir.Path(), "--csv", out.Path() + "alle.sqlite"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("muss „" + out.Path() + "alle.sqlite“ ein Verzeichnis sein"), std::string::npos) << r.err;
}

TEST(CliExport, ATableOfADirectoryThatCannotBeReadIsSkipped) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::PasswordProtected(), dir.Path(), "GEHEIM");
  const CliRun r = RunCli({"export", dir.Path(), "--sqlite", dir.Path() + "alle.sqlite"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Tabelle „" + dir.Path() + "GEHEIM.db“ übersprungen: "), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "1 Tabelle nach „" + dir.Path() + "alle.sqlite“ ausgegeben.\n");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir.Path() + "alle.sqlite").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  std::string names;
  sqlite3_exec(raw, "SELECT name FROM sqlite_master WHERE type = 'table'", [](void* out, int, char** v, char**) {
    *static_cast<std::string*>(out) += std::string(v[0]) + ";";
    return 0;
  }, &names, nullptr);
  EXPECT_EQ(names, "CUSTOMER;");
}

TEST(CliExport, FailuresLeaveTheTargetAsItWas) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::KeyedWithoutSecondaryIndex(), dir.Path());
  // Record 2 takes record 1's key: SQLite refuses the second row.
  auto bytes = testsupport::ReadBytes(path);
  std::copy_n(&bytes[2048 + 6], 8, &bytes[2048 + 6 + 71]);
  testsupport::WriteBytes(path, bytes);
  testsupport::WriteBytes(dir.Path() + "out.sqlite", {'a', 'l', 't'});
  CliRun r = RunCli({"export", path, "--sqlite", dir.Path() + "out.sqlite"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Datensatz 2 der Tabelle"), std::string::npos) << r.err;
  EXPECT_EQ(ReadText(dir.Path() + "out.sqlite"), "alt");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "out.sqlite.~kbtmp"));

  r = RunCli({"export", dir.Path() + "FEHLT.DB", "--csv", dir.Path() + "out.csv"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("FEHLT.DB"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "out.csv"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "out.csv.~kbtmp"));

  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"export", path}, {"export", path, "--csv"}, {"export", path, "--csv", "a", "--sqlite", "b"},
        {"export", path, "--xml", "a"}}) {
    r = RunCli(wrong, dir);
    EXPECT_EQ(r.status, 2) << wrong.size();
    EXPECT_NE(r.err.find("Aufruf: kerbolt-cli export"), std::string::npos) << r.err;
  }
}

TEST(CliExport, UnreadableValuesAreNullWithAWarning) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  std::filesystem::remove(dir.Path() + "CUSTOMER.MB");
  const CliRun r = RunCli({"export", path, "--csv", dir.Path() + "out.csv"}, dir);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err.rfind("Warnung: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("CUSTOMER.MB"), std::string::npos) << r.err;
  EXPECT_EQ(ParseCsv(ReadText(dir.Path() + "out.csv")).size(), 21u);
}

}  // namespace

namespace {

// The rows `sql` gives on the SQLite database at `path`, every value followed by "|", null as "-".
std::string SqliteRows(const std::string& path, const char* sql) {
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(raw);
    return "(nicht lesbar)";
  }
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  std::string rows;
  auto collect = [](void* out, int n, char** values, char**) {
    for (int i = 0; i < n; ++i) *static_cast<std::string*>(out) += std::string(values[i] ? values[i] : "-") + "|";
    return 0;
  };
  sqlite3_exec(raw, sql, collect, &rows, nullptr);
  return rows;
}

// A BCD value longer than a double keeps stays exact: its column is TEXT, the short one NUMERIC.
TEST(CliExport, LongDecimalsStayExact) {
  TempDir dir;
  {
    engine::TTable t;
    t.SetDatabaseName(dir.Path());
    t.SetTableName("BETRAG.DB");
    t.FieldDefs().Add({"Lang", engine::ftBCD, 4, false});
    t.FieldDefs().Add({"Kurz", engine::ftBCD, 2, false});
    t.CreateTable();
    t.Open();
    t.Append();
    t.Fields(0).SetAsString("12345678901234567890.1234");
    t.Fields(1).SetAsString("-1234.5");
    t.Post();
    t.Close();
  }
  const CliRun r = RunCli({"export", dir.Path() + "BETRAG.DB", "--sqlite", dir.Path() + "out.sqlite"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(SqliteRows(dir.Path() + "out.sqlite", "SELECT typeof(Lang), Lang, typeof(Kurz), Kurz FROM BETRAG"),
            "text|12345678901234567890.1234|real|-1234.5|");
}

// A single integer key column is SQLite's row id, which turns a null into a number: a table
// with a blank key keeps it null, its other rows, and one SQLite table.
TEST(CliExport, ABlankIntegerKeyStaysNull) {
  TempDir dir;
  {
    engine::TTable t;
    t.SetDatabaseName(dir.Path());
    t.SetTableName("NRKEY.DB");
    t.FieldDefs().Add({"Nr", engine::ftInteger, 0, false});
    t.FieldDefs().Add({"Name", engine::ftString, 10, false});
    t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
    t.CreateTable();
    t.Open();
    for (const char* nr : {"7", "", "3"}) {
      t.Append();
      if (*nr) t.Fields(0).SetAsString(nr);
      t.Fields(1).SetAsString(std::string("N") + nr);
      t.Post();
    }
    t.Close();
  }
  const CliRun r = RunCli({"export", dir.Path() + "NRKEY.DB", "--sqlite", dir.Path() + "out.sqlite"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out = dir.Path() + "out.sqlite";
  EXPECT_EQ(SqliteRows(out, "SELECT typeof(Nr), Nr, Name FROM NRKEY ORDER BY Name"), "null|-|N|integer|3|N3|integer|7|N7|");
  EXPECT_EQ(SqliteRows(out, "SELECT count(*) FROM sqlite_master WHERE type = 'table'"), "1|");
}

// A table of 200 records written in bulk into `dir`: Nr, its key, is keyOf(i) for record i,
// Name is "N" and i.
void WriteNumbered(const std::string& dir, const std::string& name, const std::function<int(int)>& keyOf) {
  engine::TFieldDefs fields;
  fields.Add({"Nr", engine::ftInteger, 0, false});
  fields.Add({"Name", engine::ftString, 10, false});
  engine::TIndexDefs indexes;
  indexes.Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
  int i = 0;
  engine::CreateTableInBulk(engine::DefaultFileSystem(), dir, name, fields, indexes, 2048, [&](engine::TBulkRow& row) {
    if (i == 200) return false;
    row.SetInteger(0, keyOf(i));
    row.SetString(1, "N" + std::to_string(i++));
    return true;
  });
}

// Gives the record with the key `from` (below 256) the key `to` in the file's bytes, where a key
// is stored big-endian with its sign bit flipped.
void ChangeKey(const std::string& path, uint8_t from, uint16_t to) {
  auto bytes = testsupport::ReadBytes(path);
  const std::vector<uint8_t> key = {0x80, 0, 0, from};
  const auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
  ASSERT_NE(at, bytes.end());
  at[2] = static_cast<uint8_t>(to >> 8);
  at[3] = static_cast<uint8_t>(to);
  testsupport::WriteBytes(path, bytes);
}

// Rows are stored many to a statement; a row SQLite refuses among them is still named, and the
// target stays as it was.
TEST(CliExport, ARowRefusedAmongManyIsNamed) {
  TempDir dir;
  WriteNumbered(dir.Path(), "VIELE.DB", [](int i) { return i; });
  ChangeKey(dir.Path() + "VIELE.DB", 100, 99);  // record 101 takes the key of record 100
  const CliRun r = RunCli({"export", dir.Path() + "VIELE.DB", "--sqlite", dir.Path() + "out.sqlite"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Datensatz 101 der Tabelle"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "out.sqlite"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "out.sqlite.~kbtmp"));
}

// A single integer key becomes SQLite's row id: keys in a run, after a gap, out of order (a
// damaged table) and after a negative key each keep their value.
TEST(CliExport, IntegerKeysKeepTheirValuesAsRowIds) {
  TempDir dir;
  WriteNumbered(dir.Path(), "LUECKE.DB", [](int i) { return i < 100 ? i : i + 50; });
  ChangeKey(dir.Path() + "LUECKE.DB", 50, 1000);  // larger than every key after it
  const CliRun r = RunCli({"export", dir.Path() + "LUECKE.DB", "--sqlite", dir.Path() + "out.sqlite"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out = dir.Path() + "out.sqlite";
  EXPECT_EQ(SqliteRows(out, "SELECT Nr, Name FROM LUECKE WHERE Name IN ('N0', 'N1', 'N50', 'N51', 'N99', 'N100', "
                            "'N199') ORDER BY rowid"),
            "0|N0|1|N1|51|N51|99|N99|150|N100|249|N199|1000|N50|");
  EXPECT_EQ(SqliteRows(out, "SELECT count(*) FROM LUECKE WHERE Nr = rowid AND Nr = CASE WHEN Name = 'N50' THEN 1000 "
                            "WHEN CAST(substr(Name, 2) AS INTEGER) < 100 THEN CAST(substr(Name, 2) AS INTEGER) "
                            "ELSE CAST(substr(Name, 2) AS INTEGER) + 50 END"),
            "200|");
  // After a negative key the next row id SQLite would give is not 1.
  WriteNumbered(dir.Path(), "NEGATIV.DB", [](int i) { return i == 0 ? -5 : i; });
  ASSERT_EQ(RunCli({"export", dir.Path() + "NEGATIV.DB", "--sqlite", dir.Path() + "neg.sqlite"}, dir).status, 0);
  EXPECT_EQ(SqliteRows(dir.Path() + "neg.sqlite", "SELECT Nr FROM NEGATIV WHERE Name IN ('N0', 'N1', 'N2') ORDER BY rowid"),
            "-5|1|2|");
  EXPECT_EQ(SqliteRows(dir.Path() + "neg.sqlite", "SELECT count(*) FROM NEGATIV WHERE Nr = rowid AND Nr = "
                                                   "CASE WHEN Name = 'N0' THEN -5 ELSE CAST(substr(Name, 2) AS INTEGER) END"),
            "200|");
}

}  // namespace
