// Lock files of other Paradox programs beside a table: what is read of them, the byte-range lock
// test, and the exclusive operations that refuse while another program may use the table, each
// leaving every file as it was; the user's consent lets them go on past files no one holds, and
// reading never asks. Lock files are written by the tests; locks are held by a child process.

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <sstream>

#include "component/bulk_table.h"
#include "component/table.h"
#include "direct/table_files.h"
#include "direct/table_rebuild.h"
#include "family/family_swap.h"
#include "family/foreign_locks.h"
#include "family/table_cursor.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/network_paths.h"
#include "testsupport/dir_snapshot.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/foreign_lock_files.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fixtures = testsupport::fixtures;
using engine::EDBEngineError;
using engine::FindForeignUse;
using engine::ForeignLockFile;
using engine::ForeignUse;
using engine::NetFileMatch;
using testsupport::ForeignLockHolder;
using testsupport::SnapshotDir;
using testsupport::TempDir;

engine::FileSystem& Fs() { return engine::DefaultFileSystem(); }

const ForeignLockFile* FileNamed(const ForeignUse& use, const std::string& name) {
  for (const ForeignLockFile& file : use.files)
    if (file.name == name) return &file;
  return nullptr;
}

std::set<std::string> Names(const ForeignUse& use) {
  std::set<std::string> names;
  for (const ForeignLockFile& file : use.files) names.insert(file.name);
  return names;
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

TEST(ForeignLockFacts, DirectoryLockFileIsReadAndCheckedAgainstTheNetFile) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\DATEN\\", 0x11223344);
  testsupport::WriteNetFile(dir.Path(), 0x11223344, "pdoxusrs.net");
  testsupport::WriteSmallLockFile(dir.Path() + "customer.lck");
  testsupport::WriteSmallLockFile(dir.Path() + "PARADOX.LCK");
  testsupport::WriteSmallLockFile(dir.Path() + "ORDERS.LCK");  // another table's

  ForeignUse use = FindForeignUse(Fs(), dir.Path(), "customer.db");
  EXPECT_EQ(use.tablePath, dir.Path() + "CUSTOMER.DB");
  EXPECT_EQ(Names(use), (std::set<std::string>{"PARADOX.LCK", "PDOXUSRS.LCK", "customer.lck", "pdoxusrs.net"}));
  EXPECT_TRUE(use.Present());
  EXPECT_FALSE(use.Held());
  const ForeignLockFile* lck = FileNamed(use, "PDOXUSRS.LCK");
  ASSERT_NE(lck, nullptr);
  EXPECT_TRUE(lck->layoutKnown);
  EXPECT_EQ(lck->netDirectory, "P:\\DATEN\\");
  EXPECT_EQ(lck->netFileId, 0x11223344u);
  EXPECT_EQ(lck->netFile, NetFileMatch::Same);
  EXPECT_EQ(lck->netFilePath, dir.Path() + "pdoxusrs.net");
  EXPECT_TRUE(lck->probe.probed);

  // A net file of another session: the lock file does not belong to it.
  testsupport::WriteNetFile(dir.Path(), 0x55667788, "pdoxusrs.net");
  use = FindForeignUse(Fs(), dir.Path(), "CUSTOMER.DB");
  EXPECT_EQ(FileNamed(use, "PDOXUSRS.LCK")->netFile, NetFileMatch::Different);
  const std::string text = engine::ForeignUseText(use, Now());
  EXPECT_NE(text.find("PDOXUSRS.LCK (Netzverzeichnis „P:\\DATEN\\“, passt nicht zur Netzdatei"), std::string::npos)
      << text;
  EXPECT_NE(text.find("customer.lck ("), std::string::npos) << text;
  EXPECT_NE(text.find(" geändert)"), std::string::npos) << text;
  EXPECT_NE(text.find("bestätigen"), std::string::npos) << text;
  EXPECT_EQ(text.find("ORDERS.LCK"), std::string::npos) << text;
  EXPECT_EQ(text.find(testsupport::kForeignUserName), std::string::npos) << text;
}

TEST(ForeignLockFacts, OddDirectoryLockFilesAndNetDirectoriesOfThisSystem) {
  TempDir dir, net;
  testsupport::WriteBytes(dir.Path() + "T.DB", {1, 2, 3});
  // The net directory a path of this system: its net file is the one checked, not one beside the table.
  testsupport::WriteDirectoryLockFile(dir.Path(), net.Path(), 7, "pdoxusrs.LCK");
  testsupport::WriteNetFile(net.Path(), 7, "Pdoxusrs.Net");
  testsupport::WriteNetFile(dir.Path(), 8);
  ForeignUse use = FindForeignUse(Fs(), dir.Path(), "T.DB");
  const ForeignLockFile* lck = FileNamed(use, "pdoxusrs.LCK");
  ASSERT_NE(lck, nullptr);
  EXPECT_EQ(lck->netFile, NetFileMatch::Same);
  EXPECT_EQ(lck->netFilePath, net.Path() + "Pdoxusrs.Net");

  // A block count that does not fit the size, a size that is no whole number of blocks, a file
  // cut short: nothing of the content is trusted, but the file still counts.
  struct Case {
    const char* what;
    std::function<void()> write;
  };
  const std::vector<Case> cases = {
      {"block count", [&] { testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\", 7, "pdoxusrs.LCK", 3); }},
      {"size", [&] {
         auto bytes = testsupport::ReadBytes(dir.Path() + "pdoxusrs.LCK");
         bytes.push_back(0);
         testsupport::WriteBytes(dir.Path() + "pdoxusrs.LCK", bytes);
       }},
      {"cut short", [&] { testsupport::WriteBytes(dir.Path() + "pdoxusrs.LCK", {0x23, 0, 0, 2}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.write();
    use = FindForeignUse(Fs(), dir.Path(), "T.DB");
    lck = FileNamed(use, "pdoxusrs.LCK");
    ASSERT_NE(lck, nullptr);
    EXPECT_FALSE(lck->layoutKnown);
    EXPECT_EQ(lck->netFile, NetFileMatch::Unchecked);
    EXPECT_NE(engine::ForeignUseText(use, Now()).find("pdoxusrs.LCK (Aufbau unbekannt"), std::string::npos);
  }
}

TEST(ForeignLockFacts, NetworkPathsOfMountedShares) {
  const std::string mounts =
      "proc /proc proc rw 0 0\n"
      "server:/export /mnt/nfs nfs rw 0 0\n"
      "//fileserver/Daten /mnt/daten cifs rw,vers=3.0 0 0\n"
      "//NAS/public/Paradox\\040Netz /media/pdox\\040net cifs rw 0 0\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\\\\FILESERVER\\daten\\", "/mnt/daten/"},
      {"\\\\fileserver\\DATEN\\Netz\\Dir", "/mnt/daten/Netz/Dir/"},
      {"//fileserver/daten/netz/", "/mnt/daten/netz/"},
      {"\\\\nas\\PUBLIC\\paradox netz\\", "/media/pdox net/"},
      {"\\\\nas\\public\\", ""},              // above the mounted folder
      {"\\\\fileserver\\andere\\", ""},       // another share
      {"\\\\fileserver2\\daten\\", ""},       // a server whose name only begins alike
      {"P:\\", ""},                           // a drive letter
      {"/mnt/daten/", ""},                    // no network path
      {"\\\\", ""},
  };
  for (const auto& [unc, local] : cases) EXPECT_EQ(engine::LocalPathOfNetworkPath(unc, mounts), local) << unc;
}

TEST(ForeignLockFacts, HowLongAgoAFileChanged) {
  ForeignUse use;
  use.tablePath = "/daten/T.DB";
  const int64_t now = 1'000'000'000;
  const std::vector<std::pair<int64_t, std::string>> cases = {
      {now + 30, "gerade eben"},        {now - 1, "vor 1 Sekunde"},   {now - 59, "vor 59 Sekunden"},
      {now - 60, "vor 1 Minute"},       {now - 3599, "vor 59 Minuten"}, {now - 7200, "vor 2 Stunden"},
      {now - 86400, "vor 1 Tag"},       {now - 3 * 86400 - 5, "vor 3 Tagen"},
  };
  for (const auto& [modified, expected] : cases) {
    ForeignLockFile file;
    file.name = "T.LCK";
    file.probe.hasModified = true;
    file.probe.modifiedSeconds = modified;
    use.files = {file};
    EXPECT_EQ(engine::ForeignUseFacts(use, now), "T.LCK (" + expected + " geändert)");
  }
  use.files.clear();
  use.table.lockedElsewhere = true;
  EXPECT_EQ(engine::ForeignUseFacts(use, now), "T.DB (gesperrt)");
  EXPECT_NE(engine::ForeignUseText(use, now).find("Schließen Sie die Tabelle in dem anderen Programm"),
            std::string::npos);
}

TEST(ForeignLockProbe, LocksOfAnotherProcessAreSeenWithoutTakingOrChangingAnything) {
  TempDir dir;
  const std::string path = dir.Path() + "PDOXUSRS.LCK";
  testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\", 1);
  const auto before = SnapshotDir(dir.Path());

  engine::FileUseProbe probe = Fs().ProbeUse(path);
  EXPECT_TRUE(probe.probed);
  EXPECT_FALSE(probe.lockedElsewhere);
  EXPECT_TRUE(probe.hasModified);
  {
    // A shared lock on a few bytes in the middle: any lock counts, wherever it lies.
    ForeignLockHolder holder(path, false, 0x200, 16);
    ASSERT_TRUE(holder.Holding());
    EXPECT_TRUE(Fs().ProbeUse(path).lockedElsewhere);
  }
  {
    // A lock beyond the end of the file, as some programs take them.
    ForeignLockHolder holder(path, true, 1'000'000, 1);
    ASSERT_TRUE(holder.Holding());
    EXPECT_TRUE(Fs().ProbeUse(path).lockedElsewhere);
    // The probe holds nothing afterwards: another process still gets every other byte.
    ForeignLockHolder second(path, true, 0, 1'000'000);
    EXPECT_TRUE(second.Holding());
  }
  EXPECT_FALSE(Fs().ProbeUse(path).lockedElsewhere);
  EXPECT_TRUE(SnapshotDir(dir.Path()) == before);

  probe = Fs().ProbeUse(dir.Path() + "FEHLT.LCK");
  EXPECT_FALSE(probe.probed);
  EXPECT_FALSE(probe.hasModified);
}

TEST(ForeignLockFamily, LockFilesAreNoPartOfATableFamily) {
  TempDir dir;
  for (const char* name : {"T.DB", "T.PX", "T.VAL", "T.LCK", "t.net", "t.lck"})
    testsupport::WriteBytes(dir.Path() + name, {0});
  EXPECT_EQ(engine::ExistingFamily(Fs(), dir.Path(), "T.DB", true),
            (std::vector<std::string>{"T.DB", "T.PX", "T.VAL"}));
  // An interrupted commit whose (damaged) list names a lock file: recovery leaves that file.
  testsupport::WriteBytes(dir.Path() + "T.DB.~kbnew", {1});
  testsupport::WriteBytes(dir.Path() + "T.DB.~kblist", {'T', '.', 'D', 'B', '\n', 'T', '.', 'L', 'C', 'K', '\n'});
  engine::RecoverTableFamily(Fs(), dir.Path(), "T.DB");
  EXPECT_TRUE(Fs().Exists(dir.Path() + "T.LCK"));
  EXPECT_FALSE(Fs().Exists(dir.Path() + "T.DB.~kbnew"));
  EXPECT_TRUE(engine::IsForeignLockFileName("kunden.Lck"));
  EXPECT_TRUE(engine::IsForeignLockFileName("PDOXUSRS.NET"));
  EXPECT_FALSE(engine::IsForeignLockFileName("LCK"));
  EXPECT_FALSE(engine::IsForeignLockFileName("KUNDEN.LCKX"));
}

// --- Exclusive operations ---------------------------------------------------------------------

// How another program is seen beside the table.
struct Use {
  const char* what;
  bool holdTable;     // a lock on the .DB
  bool holdLockFile;  // a lock on PDOXUSRS.LCK
};

const Use kUses[] = {
    {"lock files that no one holds", false, false},
    {"a lock on the table file", true, false},
    {"a lock on the directory lock file", false, true},
};

// An exclusive operation on the table CUSTOMER.DB in `dir`; `other` holds a second table.
struct Operation {
  const char* what;
  std::function<void(const std::string& dir, const std::string& other)> run;
};

void DefineOneField(engine::TFieldDefs& fields) { fields.Add({"A", engine::ftString, 20, false}); }

const std::vector<Operation>& ExclusiveOperations() {
  static const std::vector<Operation> operations = {
      {"a change of block size",
       [](const std::string& dir, const std::string&) {
         engine::TableFormat format;
         format.blockBytes = 4096;
         engine::ChangeTableFormat(Fs(), dir, "CUSTOMER.DB", format);
       }},
      {"a change of level",
       [](const std::string& dir, const std::string&) {
         engine::TableFormat format;
         format.level = 5;
         engine::ChangeTableFormat(Fs(), dir, "customer.db", format);
       }},
      {"a copy onto the table",
       [](const std::string& dir, const std::string& other) {
         engine::CopyTable(Fs(), other, "ORDERS.DB", dir, "CUSTOMER.DB", false, {});
       }},
      {"a table written in bulk in its place",
       [](const std::string& dir, const std::string&) {
         engine::TFieldDefs fields;
         DefineOneField(fields);
         engine::CreateTableInBulk(Fs(), dir, "CUSTOMER.DB", fields, engine::TIndexDefs(), 0,
                                   [](engine::TBulkRow&) { return false; });
       }},
      {"a new table in its place",
       [](const std::string& dir, const std::string&) {
         engine::TTable t;
         t.SetDatabaseName(dir);
         t.SetTableName("CUSTOMER.DB");
         DefineOneField(t.FieldDefs());
         t.CreateTable();
       }},
      {"a rebuild",
       [](const std::string& dir, const std::string&) { engine::RebuildTable(Fs(), dir + "CUSTOMER.DB"); }},
  };
  return operations;
}

// A copy of the keyed table with blobs, with a directory lock file, a net file and the table's
// own lock file beside it.
void SetUpSharedFolder(const TempDir& dir) {
  testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  testsupport::WriteDirectoryLockFile(dir.Path(), "\\\\server\\daten\\", 0x0A0B0C0D);
  testsupport::WriteNetFile(dir.Path(), 0x0A0B0C0D);
  testsupport::WriteSmallLockFile(dir.Path() + "Customer.lck");
}

TEST(ForeignLockRefusal, EveryExclusiveOperationRefusesAndLeavesEveryFileAsItWas) {
  SKIP_WITHOUT_FIXTURES();
  TempDir other;
  testsupport::CopyTable(fixtures::KeyedWithoutSecondaryIndex(), other.Path());
  for (const Use& use : kUses) {
    for (const Operation& operation : ExclusiveOperations()) {
      SCOPED_TRACE(std::string(use.what) + ", " + operation.what);
      TempDir dir;
      SetUpSharedFolder(dir);
      std::unique_ptr<ForeignLockHolder> onTable, onLockFile;
      if (use.holdTable) onTable = std::make_unique<ForeignLockHolder>(dir.Path() + "CUSTOMER.DB", false);
      if (use.holdLockFile)
        onLockFile = std::make_unique<ForeignLockHolder>(dir.Path() + "PDOXUSRS.LCK", true, 0x400, 0x80);
      ASSERT_TRUE(!onTable || onTable->Holding());
      ASSERT_TRUE(!onLockFile || onLockFile->Holding());
      const auto before = SnapshotDir(dir.Path());
      try {
        operation.run(dir.Path(), other.Path());
        ADD_FAILURE() << "not refused";
      } catch (const EDBEngineError& e) {
        const std::string message = e.what();
        EXPECT_EQ(e.ErrorCode(), engine::kErrLocked) << message;
        EXPECT_NE(message.find(dir.Path() + "CUSTOMER.DB"), std::string::npos) << message;
        EXPECT_NE(message.find("PDOXUSRS.LCK (" + std::string(use.holdLockFile ? "gesperrt, " : "") +
                               "Netzverzeichnis „\\\\server\\daten\\“, gehört zur Netzdatei"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("Customer.lck ("), std::string::npos) << message;
        EXPECT_NE(message.find(" geändert)"), std::string::npos) << message;
        EXPECT_EQ(message.find(testsupport::kForeignUserName), std::string::npos) << message;
        const bool held = use.holdTable || use.holdLockFile;
        EXPECT_EQ(message.find("CUSTOMER.DB (gesperrt") != std::string::npos, use.holdTable) << message;
        EXPECT_EQ(message.find("Schließen Sie die Tabelle in dem anderen Programm") != std::string::npos, held)
            << message;
      }
      EXPECT_TRUE(SnapshotDir(dir.Path()) == before);
    }
  }
}

TEST(ForeignLockRefusal, ConsentGoesOnPastUnheldFilesOnlyAndNeverTouchesThem) {
  SKIP_WITHOUT_FIXTURES();
  TempDir other;
  testsupport::CopyTable(fixtures::KeyedWithoutSecondaryIndex(), other.Path());
  const std::string orders = testsupport::TableDumpText(other.Path() + "ORDERS.DB");
  for (const Operation& operation : ExclusiveOperations()) {
    SCOPED_TRACE(operation.what);
    TempDir dir;
    SetUpSharedFolder(dir);
    const auto lockFiles = [&] {
      auto files = SnapshotDir(dir.Path());
      for (auto it = files.begin(); it != files.end();)
        it = engine::IsForeignLockFileName(it->first) ? std::next(it) : files.erase(it);
      return files;
    };
    const auto before = lockFiles();
    ASSERT_EQ(before.size(), 3u);
    {
      const engine::ForeignLockConsent consent(Fs(), FindForeignUse(Fs(), dir.Path(), "CUSTOMER.DB"));
      {
        // A lock taken after the consent still refuses.
        ForeignLockHolder holder(dir.Path() + "Customer.lck", false);
        ASSERT_TRUE(holder.Holding());
        EXPECT_THROW(operation.run(dir.Path(), other.Path()), EDBEngineError);
      }
      operation.run(dir.Path(), other.Path());
    }
    EXPECT_TRUE(lockFiles() == before);
    // The consent ended with its scope, and covers only the files the user saw.
    EXPECT_THROW(operation.run(dir.Path(), other.Path()), EDBEngineError);
    const engine::ForeignLockConsent consent(Fs(), FindForeignUse(Fs(), dir.Path(), "CUSTOMER.DB"));
    testsupport::WriteSmallLockFile(dir.Path() + "PARADOX.LCK");
    EXPECT_THROW(operation.run(dir.Path(), other.Path()), EDBEngineError);
  }
  EXPECT_EQ(testsupport::TableDumpText(other.Path() + "ORDERS.DB"), orders);
}

TEST(ForeignLockRefusal, ANewTableBesideLockFilesNeedsNoConsent) {
  SKIP_WITHOUT_FIXTURES();
  TempDir src, dir;
  testsupport::CopyTable(fixtures::KeyedWithoutSecondaryIndex(), src.Path());
  testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\", 1);
  testsupport::WriteSmallLockFile(dir.Path() + "NEU.LCK");
  engine::CopyTable(Fs(), src.Path(), "ORDERS.DB", dir.Path(), "NEU.DB", false, {});
  EXPECT_TRUE(Fs().Exists(dir.Path() + "NEU.DB"));
  EXPECT_TRUE(Fs().Exists(dir.Path() + "NEU.LCK"));
}

TEST(ForeignLockReading, ReadingNeverRefuses) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir, dest;
  SetUpSharedFolder(dir);
  ForeignLockHolder onTable(dir.Path() + "CUSTOMER.DB", false);
  ForeignLockHolder onLockFile(dir.Path() + "PDOXUSRS.LCK", true);
  ASSERT_TRUE(onTable.Holding() && onLockFile.Holding());
  const auto before = SnapshotDir(dir.Path());
  const std::string table = dir.Path() + "CUSTOMER.DB";
  std::ostringstream dump, description;
  EXPECT_NO_THROW(engine::DumpTable(Fs(), table, dump));
  EXPECT_NO_THROW(engine::DescribeTable(Fs(), table, description));
  EXPECT_EQ(dump.str(), testsupport::ReadText(fixtures::ExpectedDump(fixtures::KeyedWithBlobs())));
  engine::TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("CUSTOMER.DB");
  EXPECT_NO_THROW(t.Open());
  EXPECT_EQ(t.RecordCount(), 20);
  t.Close();
  // The table as the source of a copy is read only.
  EXPECT_NO_THROW(engine::CopyTable(Fs(), dir.Path(), "CUSTOMER.DB", dest.Path(), "KOPIE.DB", false, {}));
  EXPECT_TRUE(SnapshotDir(dir.Path()) == before);
}

}  // namespace
