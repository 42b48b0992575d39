// kerbolt-cli dump and info as a user runs them: output on stdout, exit status, German errors on
// stderr.

#include <gtest/gtest.h>

#include "cli/tests/cli_support.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fixtures = testsupport::fixtures;
using cli_test::CliRun;
using cli_test::RunCli;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteBytes;

TEST(CliRead, DumpPrintsTheExpectedDump) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    std::filesystem::path table;
    std::string note;  // on stderr; the dump itself stays exact
  };
  const std::vector<Case> cases = {
      {fixtures::KeyedWithBlobs(), ""},
      {fixtures::AllFieldTypes(), ""},
      {fixtures::ChainPastLastBlock(), "Hinweis: Die Blockkette läuft über den letzten Block"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const CliRun r = RunCli({"dump", CopyTable(c.table, dir.Path())}, dir);
    EXPECT_EQ(r.status, 0) << c.table << ": " << r.err;
    EXPECT_EQ(r.out, ReadText(fixtures::ExpectedDump(c.table))) << c.table;
    if (c.note.empty())
      EXPECT_EQ(r.err, "") << c.table;
    else
      EXPECT_EQ(r.err.rfind(c.note, 0), 0u) << r.err;
  }
}

TEST(CliRead, InfoPrintsTheHeaderFigures) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const CliRun r = RunCli({"info", CopyTable(fixtures::BlockSize16K(), dir.Path())}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string line : {"Level:\t7", "Blockgröße:\t16384 Bytes (16 KB)", "Datensatzlänge:\t165",
                                 "Felder:\t3", "Datensätze:\t370", "Schlüsselfelder:\t1", "Codepage:\t1252",
                                 "Index „ste“:\tState\tohne Groß-/Kleinschreibung"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

// A table read with values that could not be read: the readable values on stdout, a warning
// naming the file and the cause on stderr, exit status 3. Exit 0 only when everything was read.
TEST(CliRead, UnreadablePartsGiveAWarningAndExitStatus3) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    std::string command;
    std::filesystem::path table;
    std::function<void(const std::string& db)> damage;
    int status;
    std::string warning;  // start of stderr; empty: nothing on stderr
  };
  const auto removeMb = [](const std::string& db) {
    std::filesystem::remove(db.substr(0, db.size() - 2) + "MB");
  };
  // The unkeyed sample's last record, alone in block 3, loses its last 35 bytes.
  const auto cutLastRecord = [](const std::string& db) {
    auto bytes = ReadBytes(db);
    bytes.resize(2048 + 2 * 2048 + 6 + 40);
    WriteBytes(db, bytes);
  };
  const auto none = [](const std::string&) {};
  const std::vector<Case> cases = {
      {"dump", fixtures::KeyedWithBlobs(), removeMb, 3, "Warnung: Datei „%CUSTOMER.MB“: Die Memo-/BLOb-Datei fehlt"},
      {"info", fixtures::KeyedWithBlobs(), removeMb, 3, "Warnung: Datei „%CUSTOMER.MB“: Die Memo-/BLOb-Datei fehlt"},
      {"dump", fixtures::Unkeyed(), cutLastRecord, 3, "Warnung: Datei „%CONTACTS.DB“: Die Datei ist abgeschnitten"},
      {"info", fixtures::Unkeyed(), cutLastRecord, 3, "Warnung: Datei „%CONTACTS.DB“: Die Datei ist abgeschnitten"},
      {"dump", fixtures::StalePrimaryIndex(), none, 0, ""},
      {"dump", fixtures::KeyedWithBlobs(), none, 0, ""},
      {"info", fixtures::KeyedWithBlobs(), none, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + " " + c.table.filename().string());
    TempDir dir;
    const std::string db = CopyTable(c.table, dir.Path());
    c.damage(db);
    const CliRun r = RunCli({c.command, db}, dir);
    EXPECT_EQ(r.status, c.status) << r.err;
    std::string warning = c.warning;
    if (const size_t at = warning.find('%'); at != std::string::npos) warning.replace(at, 1, dir.Path());
    if (warning.empty())
      EXPECT_EQ(r.err, "");
    else
      EXPECT_EQ(r.err.rfind(warning, 0), 0u) << r.err;
    EXPECT_FALSE(r.out.empty());
  }
}

TEST(CliRead, UnreadableTablesFailWithAGermanMessage) {
  TempDir dir;
  {
    std::ofstream text(dir.Path() + "TEXT.DB");
    text << "Dies ist keine Tabelle, sondern ein Text mit etwas Inhalt für den Kopf.\n";
  }
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"dump", dir.Path() + "FEHLT.DB"}, 1, "nicht gefunden"},
      {{"info", dir.Path() + "FEHLT.DB"}, 1, "nicht gefunden"},
      {{"dump", dir.Path() + "TEXT.DB"}, 1, "TEXT.DB"},
      {{"dump"}, 2, "Aufruf"},
  };
  for (const auto& c : cases) {
    const CliRun r = RunCli(c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

}  // namespace
