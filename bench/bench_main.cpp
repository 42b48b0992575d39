// kerbolt-bench: builds a large keyed table with a secondary index and a memo field, measures
// the engine's table operations on it and sets each figure against the raw sequential read and
// the raw copy of the same .DB file, measured in the same run: the physical limit.
//
//   kerbolt-bench [--records N] [--tables N] [--writes N] [--lookups N] [--dir DIR] [--keep] [--tsv]
//
// --records: records of the table (1,000,000); --tables: tables for the directory scan (1,000);
// --writes: records appended and records edited, each posted on its own (200; every post
// reaches the disk, so this is bound by the disk's flush time); --lookups: random row reads and
// FindKey searches (100,000); --dir: work directory (a fresh temporary one, removed at the end
// unless --keep); --tsv: the figures for scripts, one tab-separated line per measurement and
// nothing else on standard output.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/raw_io.h"
#include "bench/report.h"
#include "bench/stopwatch.h"
#include "duplicate/core/record_copy.h"
#include "blocksize/core/bde_util.h"
#include "blocksize/core/table_scan.h"
#include "cli/sqlite_export.h"
#include "direct/table_verify.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"
#include "component/table.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

struct Options {
  int64_t records = 1000000;
  int tables = 1000;
  int64_t writes = 200;
  int64_t lookups = 100000;
  std::string dir;
  bool keep = false;
  bool tsv = false;
};

[[noreturn]] void Usage(const std::string& problem) {
  std::cerr << problem << "\nAufruf: kerbolt-bench [--records N] [--tables N] [--writes N] [--lookups N] [--dir VERZEICHNIS] [--keep] [--tsv]\n";
  std::exit(2);
}

int64_t PositiveNumber(const std::string& text, const std::string& option) {
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || v <= 0) Usage("Ungültige Zahl für " + option + ": " + text);
  return v;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("Wert fehlt nach " + arg);
      return argv[++i];
    };
    if (arg == "--records") {
      o.records = PositiveNumber(value(), arg);
    } else if (arg == "--tables") {
      o.tables = static_cast<int>(PositiveNumber(value(), arg));
    } else if (arg == "--writes") {
      o.writes = PositiveNumber(value(), arg);
    } else if (arg == "--lookups") {
      o.lookups = PositiveNumber(value(), arg);
    } else if (arg == "--dir") {
      o.dir = value();
    } else if (arg == "--keep") {
      o.keep = true;
    } else if (arg == "--tsv") {
      o.tsv = true;
    } else {
      Usage("Unbekannte Option: " + arg);
    }
  }
  if (o.records > 2000000000) Usage("Zu viele Datensätze: " + std::to_string(o.records));
  return o;
}

void Progress(const std::string& text) { std::cerr << "… " << text << std::endl; }

engine::TTable& OpenTable(engine::TTable& t, const std::string& dir) {
  t.SetDatabaseName(dir);
  t.SetTableName(kTableName);
  t.Open();
  return t;
}

// Reads every non-blob field of the current record as text, as a grid row does.
size_t TouchRecord(engine::TTable& t) {
  size_t bytes = 0;
  for (int f = 0; f < 5; ++f) bytes += t.Fields(f).AsString().size();
  return bytes;
}

// Each repeated measurement stops after this time, so that an operation much slower than
// expected still lets the whole run finish in a few minutes; the rate is then taken over the
// operations done.
constexpr double kBudgetSeconds = 10.0;

// Runs `step` `count` times or until the budget is spent; returns how often it ran.
int64_t Repeat(int64_t count, const Stopwatch& w, const std::function<void()>& step) {
  int64_t done = 0;
  while (done < count && w.Seconds() < kBudgetSeconds) {
    step();
    ++done;
  }
  return done;
}

// The label, with the share done when the budget stopped the measurement.
std::string Counted(const std::string& label, int64_t done, int64_t planned) {
  if (done == planned) return label;
  return label + " [" + std::to_string(done) + "/" + std::to_string(planned) + "]";
}

// A directory of `count` small tables for the scan: the families of two 50-record tables (2 KiB
// and 4 KiB blocks) written by the engine, copied file by file under new base names.
void MakeScanDirectory(const std::string& workDir, const std::string& scanDir, int count) {
  const std::string small = workDir + "klein2k/";
  const std::string small4k = workDir + "klein4k/";
  fs::create_directories(small);
  fs::create_directories(small4k);
  fs::create_directories(scanDir);
  BuildTable(small, 50, [](uint64_t) {});
  engine::CopyTable(engine::DefaultFileSystem(), small, kTableName, small4k, kTableName, false,
                         engine::TableFormat{0, 4096});
  for (int i = 0; i < count; ++i) {
    char base[16];
    std::snprintf(base, sizeof base, "T%05d", i);
    for (const auto& file : fs::directory_iterator(i % 2 ? small4k : small))
      fs::copy_file(file.path(), scanDir + base + file.path().extension().string());
  }
}

// The copy of the table as `kerbolt-cli copy` makes it, and its duplication through the
// progress dialog's copy routine, both of every record into a directory of their own.
void MeasureCopies(Report& report, const std::string& dir, int64_t records) {
  const std::string copyDir = dir + "kopie/";
  const std::string duplicateDir = dir + "duplikat/";
  fs::create_directories(copyDir);
  fs::create_directories(duplicateDir);
  Progress("Kopieren und Dublizieren der Tabelle");
  {
    Stopwatch w;
    engine::CopyTable(engine::DefaultFileSystem(), dir, kTableName, copyDir, kTableName, false, engine::TableFormat{});
    report.Add("Kopieren (wie kerbolt-cli copy)", w.Seconds(), static_cast<double>(records), "Sätze",
               Scale::PerRecord, "copy");
  }
  {
    engine::TTable source;
    OpenTable(source, dir);
    Stopwatch w;
    int64_t advanced = 0;
    duplicate::CreateDuplicate(engine::DefaultFileSystem(), source, duplicateDir, kTableName);
    source.First();
    const int64_t copied = duplicate::CopyRecords(engine::DefaultFileSystem(), source, duplicateDir, kTableName,
                                                  {[] { return true; }, [&advanced] { ++advanced; }});
    report.Add("Dublizieren mit Inhalt", w.Seconds(), static_cast<double>(copied), "Sätze", Scale::PerRecord,
               "duplicate");
    if (copied != records || advanced != records)
      throw std::runtime_error("Dublizieren kopierte " + std::to_string(copied) + " Datensätze");
  }
  fs::remove_all(copyDir);
  fs::remove_all(duplicateDir);
}

void Run(const Options& o, const std::string& dir) {
  engine::SetShortDateFormat("dd.mm.yyyy");
  const std::string dbPath = dir + kTableName;
  Report report(o.records);

  Progress("Tabelle mit " + std::to_string(o.records) + " Datensätzen wird geschrieben");
  {
    Stopwatch w;
    BuildTable(dir, o.records, [](uint64_t done) { Progress(std::to_string(done) + " Datensätze geschrieben"); });
    report.Add("Aufbau (Massenschreiben, mit Indizes)", w.Seconds(), static_cast<double>(o.records), "Sätze",
               Scale::PerRecord, "build");
  }
  const uint64_t dbBytes = fs::file_size(dbPath);

  Progress("Rohes Lesen und Kopieren der .DB");
  RawRead(dbPath);  // warms the cache, as for every later measurement
  {
    Stopwatch w;
    RawRead(dbPath);
    report.SetRawRead(w.Seconds(), dbBytes);
  }
  {
    Stopwatch w;
    RawCopy(dbPath, dir + "ROHKOPIE.BIN");
    report.SetRawCopy(w.Seconds());
    fs::remove(dir + "ROHKOPIE.BIN");
  }

  MeasureCopies(report, dir, o.records);
  Progress("Prüfen und Ausgabe nach SQLite");
  {
    Stopwatch w;
    const engine::TableReport checked = engine::VerifyTable(engine::DefaultFileSystem(), dbPath);
    report.Add("Prüfen (verify)", w.Seconds(), static_cast<double>(o.records), "Sätze", Scale::PerRecord, "verify");
    if (!checked.problems.empty()) throw std::runtime_error("Prüfen fand Probleme: " + checked.problems[0].text);
  }
  {
    Stopwatch w;
    cli::SqliteExport db(dir + "AUSGABE.sqlite");
    db.AddTable(engine::DefaultFileSystem(), dbPath, nullptr, {});
    db.Finish();
    report.Add("Ausgabe nach SQLite", w.Seconds(), static_cast<double>(o.records), "Sätze", Scale::PerRecord,
               "export_sqlite");
    fs::remove(dir + "AUSGABE.sqlite");
  }

  std::mt19937_64 random(20261208);
  int64_t appended = 0;
  const int64_t samples = std::min(o.lookups, o.records);
  const int64_t writes = std::min(o.writes, o.records);
  {
    engine::TTable t;
    Progress("Öffnen und Lesen");
    {
      Stopwatch w;
      OpenTable(t, dir);
      report.Add("Öffnen", w.Seconds(), 1, "Öffnungen", Scale::WholeTable, "open");
    }
    {
      Stopwatch w;
      size_t bytes = 0;
      int64_t count = 0;
      for (t.First(); !t.Eof(); t.Next(), ++count) bytes += TouchRecord(t);
      report.Add("Vollständiger Durchlauf (5 Felder als Text)", w.Seconds(), static_cast<double>(count), "Sätze",
                 Scale::PerRecord, "scan");
      if (count != o.records || bytes == 0) throw std::runtime_error("Durchlauf las " + std::to_string(count) + " Datensätze");
    }
    {
      std::uniform_int_distribution<int64_t> row(0, o.records - 1);
      Stopwatch w;
      const int64_t done = Repeat(samples, w, [&] {
        t.MoveTo(static_cast<int>(row(random)));
        TouchRecord(t);
      });
      report.Add(Counted("Zufälliger Zeilenzugriff", done, samples), w.Seconds(), static_cast<double>(done), "Zeilen",
                 Scale::PerRecord, "random_row");
    }
    {
      std::uniform_int_distribution<int64_t> key(1, o.records);
      Stopwatch w;
      const int64_t done = Repeat(samples, w, [&] {
        if (!t.FindKey({std::to_string(key(random))})) throw std::runtime_error("FindKey fand einen Schlüssel nicht");
      });
      report.Add(Counted("FindKey (Primärindex)", done, samples), w.Seconds(), static_cast<double>(done), "Suchen",
                 Scale::PerRecord, "findkey");
    }
    {
      Stopwatch w;
      t.SetIndexName(kSecondaryIndex);
      t.First();
      TouchRecord(t);
      report.Add("Wechsel zum Sekundärindex", w.Seconds(), 1, "Wechsel", Scale::WholeTable);
    }
    {
      std::uniform_int_distribution<int64_t> row(0, o.records - 1);
      Stopwatch w;
      const int64_t done = Repeat(samples, w, [&] {
        t.MoveTo(static_cast<int>(row(random)));
        TouchRecord(t);
      });
      report.Add(Counted("Zufälliger Zeilenzugriff (Sekundärindex)", done, samples), w.Seconds(),
                 static_cast<double>(done), "Zeilen");
    }
    {
      Stopwatch w;
      t.SetIndexName("");
      t.First();
      report.Add("Wechsel zurück zum Primärindex", w.Seconds(), 1, "Wechsel", Scale::WholeTable);
    }

    Progress("Schreiben über die Tabellenkomponente");
    {
      Stopwatch w;
      int64_t k = 0;
      appended = Repeat(writes, w, [&] {
        t.Append();
        FillRecord(t, o.records + k++);
        t.Post();
      });
      report.Add(Counted("Anhängen (Append + Post)", appended, writes), w.Seconds(), static_cast<double>(appended), "Sätze",
                 Scale::PerRecord, "append_post");
    }
    {
      std::uniform_int_distribution<int64_t> row(0, o.records - 1);
      Stopwatch w;
      int64_t k = 0;
      const int64_t done = Repeat(writes, w, [&] {
        t.MoveTo(static_cast<int>(row(random)));
        t.Edit();
        t.Fields(3).SetAsFloat(static_cast<double>(k++) / 4.0);
        t.Post();
      });
      report.Add(Counted("Ändern (Edit + Post)", done, writes), w.Seconds(), static_cast<double>(done), "Sätze",
                 Scale::PerRecord, "edit_post");
    }
    t.Close();
  }

  Progress("Umstrukturieren auf 4096-Byte-Blöcke");
  {
    Stopwatch w;
    engine::ChangeTableFormat(engine::DefaultFileSystem(), dir, kTableName, engine::TableFormat{0, 4096});
    report.Add("Umstrukturieren auf 4 KiB Blöcke", w.Seconds(), static_cast<double>(o.records + appended), "Sätze",
               Scale::PerRecord, "restructure");
  }

  Progress(std::to_string(o.tables) + " Tabellen für den Verzeichnis-Scan werden angelegt");
  {
    const std::string scanDir = dir + "scan/";
    MakeScanDirectory(dir, scanDir, o.tables);
    blocksize::TBDEUtil util;
    engine::TTable table;
    Stopwatch w;
    int listed = 0;
    for (const std::string& name : blocksize::listParadoxTables(scanDir)) {
      const blocksize::TableScanRow row = blocksize::scanTable(&util, table, scanDir, name);
      if (!row.UsedRecords) throw std::runtime_error("Scan konnte " + name + " nicht zählen");
      ++listed;
    }
    report.Add("Verzeichnis-Scan (" + std::to_string(listed) + " Tabellen)", w.Seconds(), listed, "Tabellen", Scale::None);
  }

  if (o.tsv) {
    report.PrintTsv(std::cout);
  } else {
    report.Print(std::cout, dbBytes);
  }
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const bench::Options o = bench::ParseOptions(argc, argv);
  std::string dir = o.dir;
  bool made = false;
  if (dir.empty()) {
    char pattern[] = "/tmp/kerbolt-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
      std::perror("kerbolt-bench: temporäres Verzeichnis");
      return 1;
    }
    dir = pattern;
    made = true;
  }
  if (dir.back() != '/') dir += '/';
  int status = 0;
  try {
    fs::create_directories(dir);
    bench::Run(o, dir);
  } catch (const std::exception& e) {
    std::cerr << "kerbolt-bench: " << e.what() << "\n";
    status = 1;
  }
  if (made && !o.keep) fs::remove_all(dir);
  return status;
}
