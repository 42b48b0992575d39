// Tables written by our engine, read back by pxlib: every non-blob value must be what we wrote
// and what our own dump shows, read along the block chain and through our primary index, and
// the primary index must describe the data blocks exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "pxcheck/fixtures.h"
#include "pxcheck/index_check.h"
#include "pxcheck/px_reader.h"
#include "component/table.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/temp_dir.h"

namespace pxcheck {
namespace {

namespace fs = std::filesystem;
using engine::TTable;
using testsupport::TempDir;

std::string Fnv1a64(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

std::string Two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string Four(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04d", v);
  return buf;
}

// One value: how it is put into the field, and how the dump shows it.
struct Value {
  std::function<void(engine::TField&)> set;  // empty: the field stays null
  std::string dumped;
};

Value Null() { return {nullptr, ""}; }

struct Column {
  std::string name;
  engine::TFieldType type;
  int size;
  std::string token;
  std::function<Value(int)> valueOf;  // value of record i
};

// Columns covering every non-blob type the format stores, with edge values (extremes, nulls,
// signs, umlauts, full-width text) spread over the records, and a memo that our own dump checks.
std::vector<Column> AllTypeColumns() {
  static const char* const kNames[] = {"M\xC3\xBCller", "\xC3\x84rger & S\xC3\xB6hne", " Leerzeichen vorn",
                                       "Gro\xC3\x9F""buchstaben", "zwanzig Zeichen lang", "a\\b"};
  static const double kNumbers[] = {0.0, -1.5, 1e300, 3999.95, 1.0 / 3.0, -2.5e-10, 123456789.125};
  return {
      {"Nr", engine::ftInteger, 0, "I", [](int i) {
         return Value{[i](engine::TField& f) { f.SetAsInteger(i * 3 + 1); }, std::to_string(i * 3 + 1)};
       }},
      {"Name", engine::ftString, 20, "A20", [](int i) {
         if (i % 11 == 5) return Null();
         const std::string text = kNames[i % 6];
         return Value{[text](engine::TField& f) { f.SetAsString(text); }, text == "a\\b" ? "a\\\\b" : text};
       }},
      {"Kurz", engine::ftSmallint, 0, "S", [](int i) {
         if (i % 13 == 7) return Null();
         const int v = i % 3 == 0 ? 32767 - i % 5 : -32767 + (i * 37) % 1000;
         return Value{[v](engine::TField& f) { f.SetAsInteger(v); }, std::to_string(v)};
       }},
      {"Lang", engine::ftInteger, 0, "I", [](int i) {
         if (i % 17 == 3) return Null();
         const int v = i % 4 == 0 ? 2147483647 - i : -2147483647 + i * 1000;
         return Value{[v](engine::TField& f) { f.SetAsInteger(v); }, std::to_string(v)};
       }},
      {"Zahl", engine::ftFloat, 0, "N", [](int i) {
         if (i % 19 == 4) return Null();
         const double v = kNumbers[i % 7];
         return Value{[v](engine::TField& f) { f.SetAsFloat(v); }, FormatDouble(v)};
       }},
      {"Betrag", engine::ftCurrency, 0, "$", [](int i) {
         const double v = (i * 101 % 100000) / 100.0 - 250.0;
         return Value{[v](engine::TField& f) { f.SetAsFloat(v); }, FormatDouble(v)};
       }},
      {"Datum", engine::ftDate, 0, "D", [](int i) {
         if (i % 23 == 9) return Null();
         int y = 1900 + i % 200, m = 1 + i % 12, d = 1 + i % 28;
         if (i % 41 == 0) y = 1, m = 1, d = 1;         // day number 1
         if (i % 43 == 1) y = 9999, m = 12, d = 31;    // the last day four digits hold
         if (i % 47 == 2) y = 2000, m = 2, d = 29;     // leap day of a century year
         const std::string in = Two(d) + "." + Two(m) + "." + Four(y);
         return Value{[in](engine::TField& f) { f.SetAsString(in); }, Four(y) + "-" + Two(m) + "-" + Two(d)};
       }},
      {"Zeit", engine::ftTime, 0, "T", [](int i) {
         const int h = i % 24, n = i % 60, s = (i * 7) % 60;
         const std::string in = Two(h) + ":" + Two(n) + ":" + Two(s);
         return Value{[in](engine::TField& f) { f.SetAsString(in); }, in + ".000"};
       }},
      {"Zeitpunkt", engine::ftDateTime, 0, "@", [](int i) {
         if (i % 29 == 2) return Null();
         const int y = 1990 + i % 40, m = 1 + i % 12, d = 1 + i % 28, h = (i * 5) % 24, n = i % 60;
         const std::string in = Two(d) + "." + Two(m) + "." + Four(y) + " " + Two(h) + ":" + Two(n) + ":30";
         return Value{[in](engine::TField& f) { f.SetAsString(in); },
                      Four(y) + "-" + Two(m) + "-" + Two(d) + " " + Two(h) + ":" + Two(n) + ":30.000"};
       }},
      {"Ja", engine::ftBoolean, 0, "L", [](int i) {
         if (i % 3 == 0) return Null();
         const bool v = i % 3 == 1;
         return Value{[v](engine::TField& f) { f.SetAsBoolean(v); }, v ? "true" : "false"};
       }},
      {"Dezimal", engine::ftBCD, 2, "#2", [](int i) {
         if (i % 31 == 1) return Null();
         const long cents = (i % 2 ? -1L : 1L) * (i * 7919L % 10000000L);
         const std::string text = (cents < 0 ? "-" : "") + std::to_string(std::labs(cents) / 100) + "." +
                                  Two(static_cast<int>(std::labs(cents) % 100));
         return Value{[cents](engine::TField& f) { f.SetAsFloat(cents / 100.0); }, cents == 0 ? "0.00" : text};
       }},
      {"Roh", engine::ftBytes, 4, "Y4", [](int i) {
         if (i % 37 == 6) return Null();
         const std::string bytes = {static_cast<char>(0x80 | (i & 0x7F)), static_cast<char>(i >> 8), '\0',
                                    static_cast<char>(0xFF)};
         return Value{[bytes](engine::TField& f) { f.SetAsBytes(bytes); }, HexBytes(bytes)};
       }},
      {"Notiz", engine::ftMemo, 10, "M20", [](int i) {
         if (i % 5 == 0) return Null();
         const std::string text = "Notiz " + std::to_string(i) + std::string(static_cast<size_t>(i % 40), 'x');
         return Value{[text](engine::TField& f) { f.SetAsString(text); },
                      std::to_string(text.size()) + ":" + Fnv1a64(text)};
       }},
  };
}

struct Written {
  std::string path;
  Dump expected;
};

// Creates `name` in `dir` with the columns (key: the first `keyFields`, and then two secondary
// indexes), appends `count` records
// in the order of `order`, and returns the dump the table must show (records in key order for a
// keyed table, in appended order otherwise).
Written WriteTable(const std::string& dir, const std::string& name, const std::vector<Column>& columns,
                   int keyFields, int blockBytes, const std::vector<int>& order) {
  TTable t;
  t.SetDatabaseName(dir);
  t.SetTableName(name);
  for (const Column& c : columns) t.FieldDefs().Add({c.name, c.type, c.size, false});
  if (keyFields > 0) {
    std::string fields;
    for (int k = 0; k < keyFields; ++k) fields += (k ? ";" : "") + columns[k].name;
    t.IndexDefs().Add({"", fields, "", engine::ixPrimary | engine::ixUnique});
    // A single-field index (.Xnn) and a composite case-insensitive one (.XGn).
    t.IndexDefs().Add({"Lang", "Lang", "", 0});
    t.IndexDefs().Add({"NameKurz", "Name;Kurz", "", engine::ixCaseInsensitive});
  }
  t.SetCreateBlockSize(blockBytes);
  t.CreateTable();
  t.Open();
  for (const int i : order) {
    t.Append();
    for (size_t c = 0; c < columns.size(); ++c) {
      const Value v = columns[c].valueOf(i);
      if (v.set) v.set(t.Fields(static_cast<int>(c)));
    }
    t.Post();
  }
  t.Close();

  Written w{dir + name, {}};
  for (const Column& c : columns) {
    w.expected.names.push_back(c.name);
    w.expected.types.push_back(c.token);
  }
  std::vector<int> stored = order;
  if (keyFields > 0) std::sort(stored.begin(), stored.end());  // the generators ascend with i
  for (const int i : stored) {
    std::vector<std::string> cells;
    for (const Column& c : columns) cells.push_back(c.valueOf(i).dumped);
    w.expected.rows.push_back(std::move(cells));
  }
  return w;
}

std::string Companion(const std::string& dbPath, const std::string& ext) {
  return dbPath.substr(0, dbPath.size() - 2) + ext;
}

// pxlib's reading (along the chain, and through the .PX when there is one) and our own dump
// agree with each other on every non-blob value, and the index files describe the table;
// returns our dump.
Dump ExpectPxlibAgrees(const std::string& path) {
  const Dump ours = ParseDump(testsupport::TableDumpText(path));
  const PxReading chain = ReadWithPxlib(path);
  EXPECT_TRUE(chain.opened) << "pxlib cannot open " << path;
  EXPECT_TRUE(chain.messages.empty()) << ::testing::PrintToString(chain.messages);
  EXPECT_EQ(CompareDumps(ours, chain.dump), std::vector<std::string>{}) << "chain order, " << path;
  const std::string px = Companion(path, "PX");
  if (fs::exists(px)) {
    EXPECT_EQ(CheckPrimaryIndex(path, px), std::vector<std::string>{}) << path;
    const PxReading byIndex = ReadWithPxlib(path, px);
    EXPECT_TRUE(byIndex.messages.empty()) << ::testing::PrintToString(byIndex.messages);
    EXPECT_EQ(CompareDumps(ours, byIndex.dump), std::vector<std::string>{}) << "through the index, " << path;
    const auto secondaries = SecondaryIndexFiles(path);
    EXPECT_EQ(secondaries.size(), 2u);
    for (const fs::path& x : secondaries)
      EXPECT_EQ(CheckSecondaryIndex(path, x.string()), std::vector<std::string>{}) << x;
  }
  return ours;
}

std::vector<int> Reversed(int count) {
  std::vector<int> order(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = count - 1 - i;
  return order;
}

std::vector<int> Interleaved(int count) {
  std::vector<int> order;
  for (int i = 0; i < count; i += 2) order.push_back(i);
  for (int i = 1; i < count; i += 2) order.push_back(i);
  return order;
}

struct TableCase {
  const char* name;
  int keyFields;
  int blockBytes;
  int records;
  std::vector<int> (*order)(int);
};

TEST(PxlibOfOurTables, EveryValueOfEveryTypeReadsBackAsWritten) {
  engine::SetShortDateFormat("dd.mm.yyyy");
  const TableCase cases[] = {
      {"ALLE.DB", 1, 2048, 60, Reversed},      // keyed, appended against key order
      {"OHNE.DB", 0, 1024, 150, Interleaved},  // no key: stored as appended, no .PX
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Written w = WriteTable(dir.Path(), c.name, AllTypeColumns(), c.keyFields, c.blockBytes, c.order(c.records));
    EXPECT_EQ(fs::exists(Companion(w.path, "PX")), c.keyFields > 0);
    const Dump ours = ExpectPxlibAgrees(w.path);
    // Our dump against what was written, blobs included (pxlib cannot read them).
    const auto diffs = CompareDumps(ours, w.expected);
    EXPECT_TRUE(diffs.empty()) << ::testing::PrintToString(diffs);
    for (size_t r = 0; r < std::min(ours.rows.size(), w.expected.rows.size()); ++r)
      EXPECT_EQ(ours.rows[r].back(), w.expected.rows[r].back()) << "memo of record " << r;
  }
}

TEST(PxlibOfOurTables, EditsAndDeletesKeepTableAndIndexConsistent) {
  engine::SetShortDateFormat("dd.mm.yyyy");
  TempDir dir;
  const Written w = WriteTable(dir.Path(), "AENDERN.DB", AllTypeColumns(), 1, 1024, Interleaved(200));
  TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("AENDERN.DB");
  t.Open();
  // Change key and non-key values, empty some fields, delete records from the front.
  for (int row = 0; row < 60; ++row) {
    t.MoveTo(row);
    t.Edit();
    t.FieldByName("Name").SetAsString("ge\xC3\xA4ndert " + std::to_string(row));
    t.FieldByName("Zahl").Clear();
    if (row % 10 == 0) t.FieldByName("Nr").SetAsInteger(100000 + row);  // moves to the end
    t.Post();
  }
  for (int k = 0; k < 25; ++k) {
    t.MoveTo(k * 3);
    t.Delete();
  }
  const int remaining = t.RecordCount();
  t.Close();
  const Dump ours = ExpectPxlibAgrees(w.path);
  EXPECT_EQ(static_cast<int>(ours.rows.size()), remaining);
  EXPECT_EQ(remaining, 200 - 25);
}

}  // namespace
}  // namespace pxcheck
