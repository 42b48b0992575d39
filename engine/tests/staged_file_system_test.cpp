// A post's changes are kept back and reach the table's files as one step behind an undo journal:
// what the files read meanwhile, what they hold afterwards, and what recovery makes of them when
// the process dies at any step of putting them in place. Also the journal's own checks: one that
// is cut off, damaged or names files of another table or outside the table's folder is removed
// without touching anything.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "family/family_swap.h"
#include "family/post_journal.h"
#include "family/staged_file_system.h"
#include "io/engine_error.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/memory_file_system.h"

namespace engine_test {
namespace {

using testsupport::FaultFileSystem;
using testsupport::FaultKind;
using testsupport::MemoryFileSystem;
using Files = std::map<std::string, std::string>;

const std::string kDir = "/mem/";

Files OldFiles() {
  return {{kDir + "T.DB", std::string(3000, 'd')}, {kDir + "T.PX", std::string(700, 'p')},
          {kDir + "T.MB", std::string(1500, 'm')}};
}

void Write(engine::FileSystem& fs, const std::string& path, uint64_t at, const std::string& bytes) {
  fs.Open(path, engine::OpenMode::ReadWrite)->WriteAt(at, bytes.data(), bytes.size());
}

std::string ReadAll(engine::FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, engine::OpenMode::ReadOnly);
  std::string bytes(static_cast<size_t>(file->Size()), '\0');
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

// A post's kind of change on `fs`: blocks rewritten and appended, a header patched, a file cut
// back and grown again, a file made anew over an old one and a new file.
void TypicalChanges(engine::FileSystem& fs) {
  Write(fs, kDir + "T.DB", 0, "KOPF");
  Write(fs, kDir + "T.DB", 2048, std::string(1024, 'n'));  // over the end: the file grows
  Write(fs, kDir + "T.DB", 600, "mitten");
  auto mb = fs.Open(kDir + "T.MB", engine::OpenMode::ReadWrite);
  mb->Truncate(900);
  mb->Truncate(1100);
  mb->WriteAt(1050, "x", 1);
  fs.Open(kDir + "T.PX", engine::OpenMode::CreateTruncate)->WriteAt(0, "neuer Index", 11);
  fs.Open(kDir + "T.X02", engine::OpenMode::CreateTruncate)->WriteAt(10, "neu", 3);
}

Files NewFiles() {
  MemoryFileSystem direct;
  for (const auto& [path, bytes] : OldFiles()) direct.Put(path, bytes);
  TypicalChanges(direct);
  return direct.Snapshot();
}

// Whether a journal, the work mark or any other temporary file is there.
bool HasTemporaryFile(const MemoryFileSystem& fs) {
  for (const std::string& path : fs.Paths())
    if (path.find(".~kb") != std::string::npos) return true;
  return false;
}

TEST(StagedFileSystem, ChangesAreReadBackAndReachTheFilesOnlyOnApply) {
  MemoryFileSystem memory;
  memory.Restore(OldFiles());
  engine::StagedFileSystem staged(memory, kDir, "T.DB");
  staged.Begin();
  TypicalChanges(staged);
  EXPECT_EQ(memory.Snapshot(), OldFiles()) << "changed before Apply";
  const Files expected = NewFiles();
  for (const auto& [path, bytes] : expected) EXPECT_EQ(ReadAll(staged, path), bytes) << path;
  EXPECT_TRUE(staged.Exists(kDir + "T.X02"));
  staged.Apply();
  for (const auto& [path, bytes] : expected) EXPECT_EQ(memory.Contents(path), bytes) << path;

  // Discarded changes leave the files alone; outside Begin/Apply writes go straight through.
  staged.Begin();
  Write(staged, kDir + "T.DB", 0, "VERWORFEN");
  staged.Discard();
  for (const auto& [path, bytes] : expected) EXPECT_EQ(memory.Contents(path), bytes) << path;
  Write(staged, kDir + "T.PX", 0, "direkt");
  EXPECT_EQ(memory.Contents(kDir + "T.PX").substr(0, 6), "direkt");
}

TEST(StagedFileSystem, RandomChangesEndAsIfWrittenDirectly) {
  std::mt19937 random(8);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("Runde " + std::to_string(round));
    MemoryFileSystem direct, memory;
    direct.Restore(OldFiles());
    memory.Restore(OldFiles());
    engine::StagedFileSystem staged(memory, kDir, "T.DB");
    staged.Begin();
    for (int op = 0; op < 30; ++op) {
      const std::string path = kDir + (random() % 2 ? "T.DB" : "T.MB");
      const uint64_t at = random() % 4000;
      if (random() % 5 == 0) {
        direct.Open(path, engine::OpenMode::ReadWrite)->Truncate(at);
        staged.Open(path, engine::OpenMode::ReadWrite)->Truncate(at);
      } else {
        const std::string bytes(random() % 1500 + 1, static_cast<char>('a' + op % 26));
        Write(direct, path, at, bytes);
        Write(staged, path, at, bytes);
      }
      ASSERT_EQ(ReadAll(staged, path), direct.Contents(path));
    }
    staged.Apply();
    for (const auto& [path, bytes] : direct.Snapshot()) EXPECT_EQ(memory.Contents(path), bytes) << path;
  }
}

TEST(StagedFileSystem, KilledAtEveryStepTheNextRecoveryGivesTheOldOrTheNewFiles) {
  // Two changes by one writer, then the writer goes: its journal is made for the first change,
  // written again for the second and removed at the end.
  const auto run = [](engine::FileSystem& fs, FaultFileSystem* dying, int k) {
    engine::StagedFileSystem staged(fs, kDir, "T.DB");
    staged.Begin();
    Write(staged, kDir + "T.DB", 0, "ERSTE");
    staged.Apply();
    staged.Begin();
    TypicalChanges(staged);
    if (dying) dying->StopDeadAfter(k);
    try {
      staged.Apply();
    } catch (const engine::EDBEngineError&) {
    }
  };
  Files first = OldFiles();
  first[kDir + "T.DB"].replace(0, 5, "ERSTE");
  Files last = NewFiles();
  last[kDir + "T.DB"].replace(0, 5, "KOPFE");  // the second change wrote "KOPF" over "ERSTE"
  int steps = 0;
  {
    MemoryFileSystem memory;
    memory.Restore(OldFiles());
    FaultFileSystem counter(memory);
    run(counter, nullptr, 0);
    ASSERT_EQ(memory.Snapshot(), last);
  }
  {
    MemoryFileSystem memory;
    memory.Restore(OldFiles());
    FaultFileSystem counter(memory);
    engine::StagedFileSystem staged(counter, kDir, "T.DB");
    staged.Begin();
    Write(staged, kDir + "T.DB", 0, "ERSTE");
    staged.Apply();
    counter.ResetCounts();
    staged.Begin();
    TypicalChanges(staged);
    staged.Apply();
    steps = counter.Count(FaultKind::Mutation) + 2;  // and the removals of journal and mark
  }
  ASSERT_GT(steps, 8);
  for (int k = 0; k < steps; ++k) {
    SCOPED_TRACE("Abbruch nach Änderung " + std::to_string(k));
    MemoryFileSystem memory;
    memory.Restore(OldFiles());
    FaultFileSystem dying(memory);
    run(dying, &dying, k);
    ASSERT_TRUE(dying.Dead());
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    const Files after = memory.Snapshot();
    EXPECT_TRUE(after == first || after == last);
    EXPECT_FALSE(HasTemporaryFile(memory));
  }
}

TEST(StagedFileSystem, AFailedWriteIsUndoneAtOnce) {
  MemoryFileSystem memory;
  memory.Restore(OldFiles());
  FaultFileSystem faulty(memory);
  {
    engine::StagedFileSystem staged(faulty, kDir, "T.DB");
    staged.Begin();
    TypicalChanges(staged);
    faulty.FailNth(FaultKind::Write, 3);  // the journal, then two writes of the files
    EXPECT_THROW(staged.Apply(), engine::EDBEngineError);
  }
  EXPECT_EQ(memory.Snapshot(), OldFiles());
}

// Another writer's whole journal: it is at work or was killed half way; its void journal: it is
// only between two changes.
TEST(StagedFileSystem, AnotherWritersWholeJournalStopsTheFirstChange) {
  MemoryFileSystem memory;
  memory.Restore(OldFiles());
  memory.Put(kDir + "T" + engine::kWorkSuffix, "");
  const std::string other = kDir + "t.db" + engine::kJournalSuffix + "-99-1";
  memory.Put(other, engine::EncodeJournal({{"T.DB", false, 3000, {{0, "ALT"}}}}));
  const Files before = memory.Snapshot();
  {
    engine::StagedFileSystem staged(memory, kDir, "T.DB");
    staged.Begin();
    TypicalChanges(staged);
    try {
      staged.Apply();
      FAIL() << "applied beside another writer's whole journal";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrLocked);
      EXPECT_NE(std::string(e.what()).find("anderes Programm"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(memory.Snapshot(), before);

  memory.Put(other, std::string(engine::VoidedJournalBytes(), '\0') + memory.Contents(other).substr(8));
  engine::StagedFileSystem staged(memory, kDir, "T.DB");
  staged.Begin();
  TypicalChanges(staged);
  staged.Apply();
  EXPECT_EQ(memory.Contents(kDir + "T.PX"), "neuer Index");
}

// A writer keeps its journal file between changes and leaves no file behind when it goes.
TEST(StagedFileSystem, TheJournalFileStaysBetweenChangesAndGoesWithTheWriter) {
  MemoryFileSystem memory;
  memory.Restore(OldFiles());
  {
    engine::StagedFileSystem staged(memory, kDir, "T.DB");
    for (int change = 0; change < 3; ++change) {
      staged.Begin();
      Write(staged, kDir + "T.DB", 100 * change, "Änderung");
      staged.Apply();
      EXPECT_TRUE(HasTemporaryFile(memory));
      EXPECT_TRUE(engine::HasCommitLeftovers(memory, kDir, "T.DB"));
      EXPECT_FALSE(engine::HasUnsettledChanges(memory, kDir, "T.DB"));
    }
  }
  EXPECT_FALSE(HasTemporaryFile(memory));
  EXPECT_EQ(memory.Contents(kDir + "T.DB").substr(200, 9), "Änderung");
}

// A journal that is not whole or not the table's is removed untouched; a whole one, also one with
// the checksum of earlier versions, is rolled back.
TEST(PostJournal, AJournalThatIsNotWholeOrNotTheTablesIsRemovedUntouched) {
  const std::string name = std::string("T.DB") + engine::kJournalSuffix + "-7-1";
  const auto journal = [](const std::string& file, uint64_t oldSize, uint64_t at, const std::string& bytes) {
    return engine::EncodeJournal({{file, false, oldSize, {{at, bytes}}}});
  };
  const std::string whole = journal("T.DB", 3000, 0, "ALT");
  std::string flipped = whole;
  flipped[20] ^= 1;
  // The same journal as earlier versions wrote it: its checksum taken byte by byte (FNV-1a).
  std::string former = whole;
  former.replace(0, 8, "KBUNDO02");
  uint32_t sum = 2166136261u;
  for (size_t i = 16; i < former.size(); ++i) sum = (sum ^ static_cast<uint8_t>(former[i])) * 16777619u;
  for (int k = 0; k < 4; ++k) former[12 + static_cast<size_t>(k)] = static_cast<char>(sum >> (8 * k));
  std::string formerFlipped = former;
  formerFlipped[20] ^= 1;
  const std::map<std::string, std::string> bad = {
      {"abgeschnitten", whole.substr(0, whole.size() - 3)},
      {"leer", ""},
      {"verfälscht", flipped},
      {"verfälscht, frühere Prüfsumme", formerFlipped},
      {"fremde Tabelle", journal("ANDERE.DB", 3000, 0, "ALT")},
      {"anderes Verzeichnis", journal("../T.DB", 3000, 0, "ALT")},
      {"Unterverzeichnis", journal("sub/T.DB", 3000, 0, "ALT")},
      {"hinter dem Dateiende", journal("T.DB", 3000, 2999, "ALT")},
  };
  for (const auto& [what, bytes] : bad) {
    SCOPED_TRACE(what);
    MemoryFileSystem memory;
    memory.Restore(OldFiles());
    memory.Put(kDir + "ANDERE.DB", "andere");
    const Files before = memory.Snapshot();
    memory.Put(kDir + name, bytes);
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    EXPECT_EQ(memory.Snapshot(), before);
  }
  // A whole one is rolled back: the three bytes and the old size come back.
  for (const std::string& bytes : {whole, former}) {
    MemoryFileSystem memory;
    memory.Restore(OldFiles());
    Write(memory, kDir + "T.DB", 0, "NEU");
    Write(memory, kDir + "T.DB", 3000, "angehängt");
    memory.Put(kDir + name, bytes);
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    EXPECT_EQ(memory.Contents(kDir + "T.DB"), "ALT" + std::string(2997, 'd'));
    EXPECT_FALSE(HasTemporaryFile(memory));
  }
}

// The journal of a change as it stands when the change has reached every file but its void has
// not reached the disk (a crash right after the post returned): the same file, whole again.
std::string JournalPath(const MemoryFileSystem& memory) {
  for (const std::string& p : memory.Paths())
    if (p.find(engine::kJournalSuffix) != std::string::npos) return p;
  return "";
}

std::string JournalWithVoidLost(const MemoryFileSystem& memory) {
  std::string bytes = memory.Contents(JournalPath(memory));
  bytes.replace(0, engine::VoidedJournalBytes(), "KBUNDO04");
  return bytes;
}

// A whole journal of a change that every file holds in full is removed without undoing it; one
// over a later change by someone else (the .DB header neither as before nor as after) does not
// undo that; one of a change cut off half way is rolled back.
TEST(PostJournal, AWholeJournalUndoesOnlyAChangeThatWasCutOff) {
  const auto applied = [](MemoryFileSystem& memory, std::string* journal) {
    memory.Restore(OldFiles());
    Files crashed;
    {
      engine::StagedFileSystem staged(memory, kDir, "T.DB");
      staged.Begin();
      TypicalChanges(staged);
      staged.Apply();
      crashed = memory.Snapshot();
      crashed[*journal = JournalPath(memory)] = JournalWithVoidLost(memory);
    }
    memory.Restore(crashed);  // as the crash left them: the writer never removed its journal
  };
  {
    SCOPED_TRACE("vollständig");
    MemoryFileSystem memory;
    std::string journal;
    applied(memory, &journal);
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    EXPECT_EQ(memory.Snapshot(), NewFiles());
    EXPECT_FALSE(HasTemporaryFile(memory));
  }
  {
    SCOPED_TRACE("später von anderen geändert");
    MemoryFileSystem memory;
    std::string journal;
    applied(memory, &journal);
    Write(memory, kDir + "T.DB", 0, "FREMD");
    Write(memory, kDir + "T.MB", 0, "fremd");
    Files later = memory.Snapshot();
    for (auto it = later.begin(); it != later.end();) it = it->first.find(".~kb") != std::string::npos ? later.erase(it) : std::next(it);
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    EXPECT_EQ(memory.Snapshot(), later);
  }
  {
    SCOPED_TRACE("Kopf halb geschrieben");  // each byte as before or as after: the writer's own cut
    MemoryFileSystem memory;
    std::string journal;
    applied(memory, &journal);
    std::string db = memory.Contents(kDir + "T.DB");
    db.replace(2, 2, "dd");
    memory.Put(kDir + "T.DB", db);
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    EXPECT_EQ(memory.Snapshot(), OldFiles());
  }
  {
    SCOPED_TRACE("halb geschrieben");
    MemoryFileSystem memory;
    std::string journal;
    applied(memory, &journal);
    memory.Put(kDir + "T.PX", OldFiles().at(kDir + "T.PX"));  // one file still as before
    engine::RecoverTableFamily(memory, kDir, "T.DB");
    EXPECT_EQ(memory.Snapshot(), OldFiles());
  }
}

// The checksums tell a piece that holds the change from one that does not: changes a weak
// word-wise checksum would miss (two top bits flipped, one low bit, bytes swapped) must show.
TEST(PostJournal, ThePieceChecksumSeesEveryKindOfSmallChange) {
  std::vector<uint8_t> piece(engine::kAfterPiece);
  std::mt19937 random(7);
  for (uint8_t& b : piece) b = static_cast<uint8_t>(random());
  const uint32_t original = engine::PieceChecksum(piece.data(), piece.size());
  auto differs = [&](auto change) {
    std::vector<uint8_t> changed = piece;
    change(changed);
    return engine::PieceChecksum(changed.data(), changed.size()) != original;
  };
  EXPECT_TRUE(differs([](auto& p) { p[7] ^= 0x80, p[15] ^= 0x80; }));
  EXPECT_TRUE(differs([](auto& p) { p[7] ^= 0x80, p[511] ^= 0x80; }));
  EXPECT_TRUE(differs([](auto& p) { p[0] ^= 0x01; }));
  EXPECT_TRUE(differs([](auto& p) { std::swap(p[0], p[8]); }));
  EXPECT_TRUE(differs([](auto& p) { p.pop_back(); }));
}

}  // namespace
}  // namespace engine_test
