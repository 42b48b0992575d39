// kerbolt-cli export TABLE|DIR --csv FILE|DIR | --sqlite FILE: the records of a table, or of
// every table of a directory, as CSV files or in one SQLite database.

#include <cstdio>
#include <fstream>
#include <iostream>

#include "cli/commands.h"
#include "cli/csv_export.h"
#include "cli/durable_replace.h"
#include "cli/progress_line.h"
#include "cli/read_findings.h"
#include "cli/sqlite_export.h"
#include "cli/table_path.h"
#include "direct/table_rows.h"
#include "io/engine_error.h"
#include "io/file_system.h"

namespace cli {

namespace {

constexpr char kUsage[] = "Aufruf: kerbolt-cli export TABELLE|VERZEICHNIS --csv DATEI|VERZEICHNIS | --sqlite DATEI\n";

std::string StemOf(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Writes one table as CSV into `file` through a temporary file that replaces it when complete.
void ExportCsv(engine::FileSystem& fs, const std::string& table, const std::string& file,
               engine::ReadFindings* findings) {
  const std::string temp = file + ".~kbtmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw ExportError("Die Datei „" + file + "“ kann nicht angelegt werden.");
    ProgressLine progress;
    try {
      engine::ReadTableRows(fs, table, [&](const engine::TableShape& shape) {
        WriteCsvHeader(out, shape);
        return true;
      }, [&](const std::vector<engine::Cell>& cells) { WriteCsvRow(out, cells); }, findings,
         [&progress](uint64_t n) { return progress(n); });
    } catch (...) {
      out.close();
      std::remove(temp.c_str());
      throw;
    }
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      throw ExportError("Die Datei „" + file + "“ kann nicht geschrieben werden.");
    }
  }
  if (!ReplaceDurably(temp, file)) throw ExportError("Die Datei „" + file + "“ kann nicht geschrieben werden.");
}

}  // namespace

int RunExport(const Args& args) {
  std::string source, csv, sqlite;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--csv" || args[i] == "--sqlite") && i + 1 < args.size()) {
      (args[i] == "--csv" ? csv : sqlite) = args[i + 1];
      ++i;
    } else if (args[i].rfind("--", 0) != 0 && source.empty()) {
      source = args[i];
    } else {
      std::cerr << (args[i].rfind("--", 0) == 0 ? "Unbekannte oder unvollständige Option: " + args[i] + "\n" : "")
                << kUsage;
      return 2;
    }
  }
  if (source.empty() || csv.empty() == sqlite.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  engine::FileSystem& fs = engine::DefaultFileSystem();
  int status = 0;
  size_t written = 0;
  bool failed = false;
  try {
    std::vector<std::string> tables;
    const bool directory = IsDirectory(source);
    if (directory) {
      tables = TablePathsIn(fs, source);
      if (!csv.empty() && !IsDirectory(csv))
        throw ExportError("Für die Ausgabe aller Tabellen eines Verzeichnisses muss „" + csv + "“ ein Verzeichnis sein.");
    } else {
      tables.push_back(source);
    }
    std::unique_ptr<SqliteExport> db;
    if (!sqlite.empty()) db = std::make_unique<SqliteExport>(sqlite);
    for (const std::string& table : tables) {
      engine::ReadFindings findings;
      try {
        if (db) {
          ProgressLine progress;
          db->AddTable(fs, table, &findings, [&progress](uint64_t n) { return progress(n); });
        } else {
          ExportCsv(fs, table, directory ? DirectoryWithSlash(csv) + StemOf(table) + ".csv" : csv, &findings);
        }
      } catch (const std::exception& e) {
        if (!directory) throw;
        // Of a directory, the other tables are still written.
        std::cerr << "Tabelle „" << table << "“ übersprungen: " << e.what() << '\n';
        failed = true;
        continue;
      }
      ++written;
      for (const auto& note : findings.notes) std::cerr << "Hinweis: " << note << '\n';
      if (ReportUnreadable(findings) != 0) status = kExitUnreadableValues;
    }
    if (db) db->Finish();
    std::cout << written << (written == 1 ? " Tabelle" : " Tabellen") << " nach „" << (db ? sqlite : csv)
              << "“ ausgegeben.\n";
  } catch (const engine::EDBEngineError& e) {
    std::cerr << e.what() << '\n';
    return 1;
  } catch (const ExportError& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return failed ? 1 : status;
}

}  // namespace cli
