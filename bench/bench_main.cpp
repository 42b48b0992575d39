// kerbolt-bench: builds a large keyed table with a secondary index and a memo field, measures
// the engine's table operations on it and sets each figure against the raw sequential read and
// the raw copy of the same .DB file, measured in the same run: the physical limit. Beside them it
// measures one 2 KiB block written in place and flushed (raw_sync), the floor of a durable post,
// and SQLite alone making the exported rows and indexes again (sqlite_floor), the floor of an export.
//
//   kerbolt-bench [--records N] [--tables N] [--writes N] [--lookups N] [--large [N]] [--tsv]
//                 [--cli PROGRAM] [--dir DIR] [--keep]
//
// --records: records of the table (1,000,000); --tables: tables for the directory scan (1,000);
// --writes: records appended and records edited, each posted on its own (200; every post
// reaches the disk, so this is bound by the disk's flush time); --lookups: random row reads and
// FindKey searches (100,000); --large: also builds a table of N records (5,000,000) and measures
// restructuring it to 16 KiB blocks, opening and scanning it; --tsv: one tab-separated line per
// measurement instead of the table; --cli: the kerbolt-cli measured for dump, copy and
// restructure (the one next to this program); --dir: work directory (a fresh temporary one,
// removed at the end unless --keep).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/child_process.h"
#include "bench/raw_io.h"
#include "bench/report.h"
#include "bench/sqlite_floor.h"
#include "bench/stopwatch.h"
#include "blocksize/core/bde_util.h"
#include "blocksize/core/table_scan.h"
#include "cli/sqlite_export.h"
#include "component/table.h"
#include "direct/table_files.h"
#include "direct/table_verify.h"
#include "duplicate/core/record_copy.h"
#include "io/engine_error.h"
#include "io/file_system.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

struct Options {
  int64_t records = 1000000;
  int tables = 1000;
  int64_t writes = 200;
  int64_t lookups = 100000;
  int64_t largeRecords = 0;  // 0: no large table
  bool tsv = false;
  std::string cli;
  std::string dir;
  bool keep = false;
};

constexpr int64_t kLargeRecords = 5000000;

[[noreturn]] void Usage(const std::string& problem) {
  std::cerr << problem
            << "\nAufruf: kerbolt-bench [--records N] [--tables N] [--writes N] [--lookups N] [--large [N]] [--tsv] "
               "[--cli PROGRAMM] [--dir VERZEICHNIS] [--keep]\n";
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
    } else if (arg == "--large") {
      const bool counted = i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9';
      o.largeRecords = counted ? PositiveNumber(value(), arg) : kLargeRecords;
    } else if (arg == "--tsv") {
      o.tsv = true;
    } else if (arg == "--cli") {
      o.cli = value();
    } else if (arg == "--dir") {
      o.dir = value();
    } else if (arg == "--keep") {
      o.keep = true;
    } else {
      Usage("Unbekannte Option: " + arg);
    }
  }
  if (o.records > 2000000000 || o.largeRecords > 2000000000)
    Usage("Zu viele Datensätze: " + std::to_string(std::max(o.records, o.largeRecords)));
  if (o.cli.empty()) o.cli = FindCli();
  if (o.cli.empty()) Usage("kerbolt-cli nicht gefunden; bitte mit --cli angeben.");
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
  BuildTable(small, 50, 2048, [](uint64_t) {});
  engine::CopyTable(engine::DefaultFileSystem(), small, kTableName, small4k, kTableName, false,
                    engine::TableFormat{0, 4096});
  for (int i = 0; i < count; ++i) {
    char base[16];
    std::snprintf(base, sizeof base, "T%05d", i);
    for (const auto& file : fs::directory_iterator(i % 2 ? small4k : small))
      fs::copy_file(file.path(), scanDir + base + file.path().extension().string());
  }
}

// The measurements of one run, each with its key, German label and basis.
class Session {
 public:
  Session(const Options& o, const std::string& dir) : o_(o), dir_(dir), report_(o.records) {}

  void Run() {
    engine::SetShortDateFormat("dd.mm.yyyy");
    BuildAndRaw();
    Reads();
    Writes();
    WholeTableWork();
    if (o_.largeRecords) Large();
    DirectoryScan();
    if (o_.tsv)
      report_.PrintTsv(std::cout);
    else
      report_.Print(std::cout);
  }

 private:
  void Add(const std::string& key, const std::string& label, double seconds, double count, const std::string& unit,
           Basis basis, uint64_t records = 0) {
    report_.Add({key, label, seconds, count, unit, basis, records});
  }

  // kerbolt-cli with `args`, its output discarded; returns its time and peak memory.
  ChildRun Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv{o_.cli};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, "/dev/null", dir_ + "kerbolt-cli.err");
  }

  void BuildAndRaw() {
    const std::string dbPath = dir_ + kTableName;
    Progress("Tabelle mit " + std::to_string(o_.records) + " Datensätzen wird geschrieben");
    {
      Stopwatch w;
      BuildTable(dir_, o_.records, 2048,
                 [](uint64_t done) { Progress(std::to_string(done) + " Datensätze geschrieben"); });
      Add("build", "Aufbau (Massenschreiben, mit Indizes)", w.Seconds(), static_cast<double>(o_.records), "Sätze",
          Basis::CopyWhole);
    }
    Progress("Rohes Lesen und Kopieren der .DB");
    RawRead(dbPath);  // warms the cache, as for every later measurement
    {
      Stopwatch w;
      const uint64_t bytes = RawRead(dbPath);
      report_.SetRawRead(w.Seconds(), bytes);
    }
    {
      Stopwatch w;
      RawCopy(dbPath, dir_ + "ROHKOPIE.BIN");
      report_.SetRawCopy(w.Seconds());
      fs::remove(dir_ + "ROHKOPIE.BIN");
    }
    {
      // What every durable post pays at least twice (its undo journal, then the table's files).
      const int64_t writes = std::max<int64_t>(o_.writes, 20);
      const double seconds = RawDurableWrites(dir_ + "ROHBLOCK.BIN", writes);
      Add("raw_sync", "Rohes Schreiben eines 2-KiB-Blocks + fdatasync", seconds, static_cast<double>(writes),
          "Blöcke", Basis::None);
    }
  }

  void Reads() {
    Progress("Öffnen und Lesen");
    const int64_t samples = std::min(o_.lookups, o_.records);
    engine::TTable t;
    {
      Stopwatch w;
      OpenTable(t, dir_);
      Add("open", "Öffnen", w.Seconds(), 1, "Öffnungen", Basis::ReadWhole);
    }
    {
      Stopwatch w;
      t.Last();
      TouchRecord(t);
      Add("last_row", "Letzte Zeile direkt nach dem Öffnen", w.Seconds(), 1, "Sprünge", Basis::ReadWhole);
    }
    {
      Stopwatch w;
      const int64_t count = Scan(t);
      if (count != o_.records) throw std::runtime_error("Durchlauf las " + std::to_string(count) + " Datensätze");
      Add("scan", "Vollständiger Durchlauf (5 Felder als Text)", w.Seconds(), static_cast<double>(count), "Sätze",
          Basis::ReadPerRecord);
    }
    {
      const ChildRun run = Cli({"dump", dir_ + kTableName});
      Add("dump", "kerbolt-cli dump (ganzer Prozess)", run.seconds, static_cast<double>(o_.records), "Sätze",
          Basis::ReadWhole);
    }
    {
      std::uniform_int_distribution<int64_t> row(0, o_.records - 1);
      Stopwatch w;
      const int64_t done = Repeat(samples, w, [&] {
        t.MoveTo(static_cast<int>(row(random_)));
        TouchRecord(t);
      });
      Add("random_row", Counted("Zufälliger Zeilenzugriff + 5 Felder", done, samples), w.Seconds(),
          static_cast<double>(done), "Zeilen", Basis::ReadPerRecord);
    }
    {
      std::uniform_int_distribution<int64_t> key(1, o_.records);
      Stopwatch w;
      const int64_t done = Repeat(samples, w, [&] {
        if (!t.FindKey({std::to_string(key(random_))})) throw std::runtime_error("FindKey fand einen Schlüssel nicht");
      });
      Add("findkey", Counted("FindKey (Primärindex)", done, samples), w.Seconds(), static_cast<double>(done),
          "Suchen", Basis::ReadPerRecord);
    }
    {
      Stopwatch w;
      t.SetIndexName(kSecondaryIndex);
      t.First();
      TouchRecord(t);
      Add("switch_secondary", "Wechsel zum Sekundärindex", w.Seconds(), 1, "Wechsel", Basis::ReadWhole);
    }
    {
      std::uniform_int_distribution<int64_t> row(0, o_.records - 1);
      Stopwatch w;
      const int64_t done = Repeat(samples, w, [&] {
        t.MoveTo(static_cast<int>(row(random_)));
        TouchRecord(t);
      });
      Add("random_row_secondary", Counted("Zufälliger Zeilenzugriff (Sekundärindex)", done, samples), w.Seconds(),
          static_cast<double>(done), "Zeilen", Basis::ReadPerRecord);
    }
    {
      Stopwatch w;
      t.SetIndexName("");
      t.First();
      Add("switch_primary", "Wechsel zurück zum Primärindex", w.Seconds(), 1, "Wechsel", Basis::ReadWhole);
    }
  }

  // Reads all records in order, 5 fields of each as text; returns the records read.
  int64_t Scan(engine::TTable& t) {
    size_t bytes = 0;
    int64_t count = 0;
    for (t.First(); !t.Eof(); t.Next(), ++count) bytes += TouchRecord(t);
    if (bytes == 0) throw std::runtime_error("Durchlauf las keine Feldinhalte");
    return count;
  }

  void Writes() {
    Progress("Schreiben über die Tabellenkomponente");
    const int64_t writes = std::min(o_.writes, o_.records);
    engine::TTable t;
    OpenTable(t, dir_);
    int64_t next = o_.records;
    {
      Stopwatch w;
      t.Append();
      FillRecord(t, next++);
      t.Post();
      Add("first_post", "Erster Post nach dem Öffnen (Append)", w.Seconds(), 1, "Sätze", Basis::CopyPerRecord);
    }
    {
      Stopwatch w;
      const int64_t done = Repeat(writes, w, [&] {
        t.Append();
        FillRecord(t, next++);
        t.Post();
      });
      Add("append_post", Counted("Anhängen (Append + Post)", done, writes), w.Seconds(), static_cast<double>(done),
          "Sätze", Basis::CopyPerRecord);
    }
    {
      std::uniform_int_distribution<int64_t> row(0, o_.records - 1);
      Stopwatch w;
      int64_t k = 0;
      const int64_t done = Repeat(writes, w, [&] {
        t.MoveTo(static_cast<int>(row(random_)));
        t.Edit();
        t.Fields(3).SetAsFloat(static_cast<double>(k++) / 4.0);
        t.Post();
      });
      Add("edit_post", Counted("Ändern eines Feldes ohne Index (Edit + Post)", done, writes), w.Seconds(),
          static_cast<double>(done), "Sätze", Basis::CopyPerRecord);
    }
    records_ = static_cast<uint64_t>(t.RecordCount());
    t.Close();
  }

  void WholeTableWork() {
    Progress("Kopieren, Duplizieren, Prüfen, Ausgabe nach SQLite und Umstrukturieren");
    {
      fs::create_directories(dir_ + "kopie/");
      const ChildRun run = Cli({"copy", dir_ + kTableName, dir_ + "kopie/" + kTableName});
      fs::remove_all(dir_ + "kopie/");
      Add("copy", "kerbolt-cli copy (ganzer Prozess)", run.seconds, static_cast<double>(records_), "Sätze",
          Basis::CopyWhole, records_);
      report_.AddPeakMemory("Spitzenspeicher kerbolt-cli copy", run.peakBytes, records_);
    }
    Duplicate();
    {
      Stopwatch w;
      const engine::TableReport checked = engine::VerifyTable(engine::DefaultFileSystem(), dir_ + kTableName);
      Add("verify", "Prüfen (verify)", w.Seconds(), static_cast<double>(records_), "Sätze", Basis::ReadWhole, records_);
      if (!checked.problems.empty()) throw std::runtime_error("Prüfen fand Probleme: " + checked.problems[0].text);
    }
    {
      Stopwatch w;
      cli::SqliteExport db(dir_ + "AUSGABE.sqlite");
      db.AddTable(engine::DefaultFileSystem(), dir_ + kTableName, nullptr, {});
      db.Finish();
      // Set against the raw read: the table is read once, as verify reads it.
      Add("export_sqlite", "Ausgabe nach SQLite", w.Seconds(), static_cast<double>(records_), "Sätze", Basis::ReadWhole,
          records_);
      // SQLite's own share: the finished file's rows and index made again by SQLite alone.
      const double sqliteAlone = SqliteCopySeconds(dir_ + "AUSGABE.sqlite", dir_ + "NACHGEBAUT.sqlite");
      Add("sqlite_floor", "Nur SQLite (Zeilen und Indizes neu)", sqliteAlone,
          static_cast<double>(records_), "Sätze", Basis::ReadWhole, records_);
      fs::remove(dir_ + "AUSGABE.sqlite");
    }
    {
      const ChildRun run = Cli({"restructure", dir_ + kTableName, "--block-size", "4096"});
      Add("restructure", "Umstrukturieren auf 4 KiB Blöcke (kerbolt-cli)", run.seconds,
          static_cast<double>(records_), "Sätze", Basis::CopyWhole, records_);
      report_.AddPeakMemory("Spitzenspeicher kerbolt-cli restructure", run.peakBytes, records_);
    }
  }

  // The table duplicated with its records through the progress dialog's copy routine.
  void Duplicate() {
    const std::string target = dir_ + "duplikat/";
    fs::create_directories(target);
    engine::TTable source;
    OpenTable(source, dir_);
    Stopwatch w;
    int64_t advanced = 0;
    duplicate::CreateDuplicate(engine::DefaultFileSystem(), source, target, kTableName);
    source.First();
    const int64_t copied = duplicate::CopyRecords(engine::DefaultFileSystem(), source, target, kTableName,
                                                  {[] { return true; }, [&advanced] { ++advanced; }});
    Add("duplicate", "Duplizieren mit Inhalt", w.Seconds(), static_cast<double>(copied), "Sätze", Basis::CopyWhole,
        records_);
    if (copied != static_cast<int64_t>(records_) || advanced != copied)
      throw std::runtime_error("Duplizieren kopierte " + std::to_string(copied) + " Datensätze");
    source.Close();
    fs::remove_all(target);
  }

  // The large table: written with 32 KiB blocks, restructured to 16 KiB, then opened and scanned.
  void Large() {
    const std::string dir = dir_ + "gross/";
    fs::create_directories(dir);
    const auto records = static_cast<uint64_t>(o_.largeRecords);
    const std::string size = std::to_string(o_.largeRecords / 1000000) + " Mio.";
    Progress("Große Tabelle mit " + std::to_string(o_.largeRecords) + " Datensätzen wird geschrieben");
    {
      Stopwatch w;
      BuildTable(dir, o_.largeRecords, 32768,
                 [](uint64_t done) { Progress(std::to_string(done) + " Datensätze geschrieben"); });
      Add("build_5m", "Aufbau " + size + " Sätze (32 KiB Blöcke)", w.Seconds(), static_cast<double>(records), "Sätze",
          Basis::CopyWhole, records);
    }
    {
      const ChildRun run = Cli({"restructure", dir + kTableName, "--block-size", "16384"});
      Add("restructure_5m", "Umstrukturieren " + size + " Sätze auf 16 KiB Blöcke", run.seconds,
          static_cast<double>(records), "Sätze", Basis::CopyWhole, records);
      report_.AddPeakMemory("Spitzenspeicher restructure " + size + " Sätze", run.peakBytes, records);
    }
    engine::TTable t;
    {
      Stopwatch w;
      OpenTable(t, dir);
      Add("open_5m", "Öffnen " + size + " Sätze (16 KiB Blöcke)", w.Seconds(), 1, "Öffnungen", Basis::ReadWhole,
          records);
    }
    {
      Stopwatch w;
      const int64_t count = Scan(t);
      if (count != o_.largeRecords) throw std::runtime_error("Durchlauf las " + std::to_string(count) + " Datensätze");
      Add("scan_5m", "Durchlauf " + size + " Sätze (16 KiB Blöcke)", w.Seconds(), static_cast<double>(count),
          "Sätze", Basis::ReadPerRecord, records);
    }
    t.Close();
    fs::remove_all(dir);
  }

  void DirectoryScan() {
    Progress(std::to_string(o_.tables) + " Tabellen für den Verzeichnis-Scan werden angelegt");
    const std::string scanDir = dir_ + "scan/";
    MakeScanDirectory(dir_, scanDir, o_.tables);
    blocksize::TBDEUtil util;
    engine::TTable table;
    Stopwatch w;
    int listed = 0;
    for (const std::string& name : blocksize::listParadoxTables(scanDir)) {
      const blocksize::TableScanRow row = blocksize::scanTable(&util, table, scanDir, name);
      if (!row.UsedRecords) throw std::runtime_error("Scan konnte " + name + " nicht zählen");
      ++listed;
    }
    Add("scan_directory", "Verzeichnis-Scan (" + std::to_string(listed) + " Tabellen)", w.Seconds(), listed,
        "Tabellen", Basis::None);
  }

  const Options& o_;
  const std::string dir_;
  Report report_;
  std::mt19937_64 random_{20261208};
  uint64_t records_ = 0;  // records after the writes
};

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc > 1 && std::string(argv[1]) == bench::kPeakChildOption) return bench::RunPeakChild(argc, argv);
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
    bench::Session(o, dir).Run();
  } catch (const std::exception& e) {
    std::cerr << "kerbolt-bench: " << e.what() << "\n";
    status = 1;
  }
  if (made && !o.keep) fs::remove_all(dir);
  return status;
}
