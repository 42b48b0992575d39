// kerbolt-cli dump and info as a user runs them: output on stdout, exit status, German errors on
// stderr.

#include <gtest/gtest.h>

#include "cli/tests/cli_support.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

using cli_test::CliRun;
using cli_test::CopyTable;
using cli_test::Fixtures;
using cli_test::ReadFile;
using cli_test::RunCli;
using cli_test::TempDir;

TEST(CliRead, DumpPrintsTheExpectedDump) {
  if (Fixtures().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  struct Case {
    std::string table;
    std::string note;  // on stderr; the dump itself stays exact
  };
  const std::vector<Case> cases = {
      {"leonhad_paradoxdriver/src/test/resources/db/CUSTOMER.DB", ""},
      {"MedilinkPS_Paradox-Reader/ParadoxTest/data/testtab.DB", ""},
      {"t232006_Individual-dictionary/_QSQ1.DB", "Hinweis: Die Blockkette läuft über den letzten Block"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const CliRun r = RunCli({"dump", CopyTable(c.table, dir.Path())}, dir);
    EXPECT_EQ(r.status, 0) << c.table << ": " << r.err;
    EXPECT_EQ(r.out, ReadFile(Fixtures() + "expected/" + c.table + ".tsv")) << c.table;
    if (c.note.empty())
      EXPECT_EQ(r.err, "") << c.table;
    else
      EXPECT_EQ(r.err.rfind(c.note, 0), 0u) << r.err;
  }
}

TEST(CliRead, InfoPrintsTheHeaderFigures) {
  if (Fixtures().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  TempDir dir;
  const CliRun r = RunCli({"info", CopyTable("leonhad_paradoxdriver/src/test/resources/db/AREACODES.DB", dir.Path())}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string line : {"Level:\t7", "Blockgröße:\t16384 Bytes (16 KB)", "Datensatzlänge:\t165",
                                 "Felder:\t3", "Datensätze:\t370", "Schlüsselfelder:\t1", "Codepage:\t1252",
                                 "Index „ste“:\tState\tohne Groß-/Kleinschreibung"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
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
