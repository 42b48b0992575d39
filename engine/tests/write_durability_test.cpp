// A posted record is on disk when Post returns: the undo journal of the change is written and
// flushed before any file of the table changes, every changed file is flushed after its last
// write, and the journal is made void only then (durably by the close at the latest); a table
// copied at any moment between two posts (a crash) reads back every record posted so far.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/table.h"
#include "family/post_journal.h"
#include "io/engine_error.h"
#include "testsupport/memory_file_system.h"

namespace {

using engine::TTable;

// Records the writes and flushes made to files whose paths start with `watched`, as
// "write <path>", "truncate <path>" and "sync <path>".
class RecordingFileSystem : public engine::FileSystem {
 public:
  RecordingFileSystem(engine::FileSystem& base, std::string watched) : base_(base), watched_(std::move(watched)) {}
  std::vector<std::string> log;

  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    auto file = base_.Open(path, mode);
    if (path.compare(0, watched_.size(), watched_) != 0) return file;
    return std::make_unique<RecordingFile>(std::move(file), log);
  }
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  void Remove(const std::string& path) override { base_.Remove(path); }
  void Rename(const std::string& from, const std::string& to) override { base_.Rename(from, to); }
  std::vector<std::string> List(const std::string& dir) override { return base_.List(dir); }
  void SyncDir(const std::string& dir) override { base_.SyncDir(dir); }
  std::unique_ptr<engine::TableLock> Lock(const std::string& path, bool exclusive) override {
    return base_.Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return base_.CanonicalPath(path); }

 private:
  class RecordingFile : public engine::File {
   public:
    RecordingFile(std::unique_ptr<engine::File> f, std::vector<std::string>& log) : f_(std::move(f)), log_(log) {}
    const std::string& Path() const override { return f_->Path(); }
    uint64_t Size() const override { return f_->Size(); }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override { return f_->ReadAt(offset, dst, n); }
    void WriteAt(uint64_t offset, const void* src, size_t n) override {
      log_.push_back("write " + Path());
      f_->WriteAt(offset, src, n);
    }
    void Truncate(uint64_t size) override {
      log_.push_back("truncate " + Path());
      f_->Truncate(size);
    }
    void Sync() override {
      log_.push_back("sync " + Path());
      f_->Sync();
    }

   private:
    std::unique_ptr<engine::File> f_;
    std::vector<std::string>& log_;
  };
  engine::FileSystem& base_;
  std::string watched_;
};

bool IsJournal(const std::string& entry) { return entry.find(".~kbjrn") != std::string::npos; }

// A table "LOG.DB" keyed on a number, with a text of `textBytes`, created in `fs` with 1 KiB
// blocks, and a component on it (not yet open).
void CreateLog(engine::FileSystem& fs, TTable& t, int textBytes) {
  t.SetFileSystem(&fs);
  t.SetDatabaseName("/mem/");
  t.SetTableName("LOG.DB");
  t.FieldDefs().Add({"Nr", engine::ftSmallint, 0, false});
  t.FieldDefs().Add({"Text", engine::ftString, textBytes, false});
  t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary});
  t.SetCreateBlockSize(1024);
  t.CreateTable();
}

TEST(WriteDurability, TheJournalIsFlushedBeforeTheFilesChangeAndNothingIsLeftUnflushed) {
  testsupport::MemoryFileSystem memory;
  RecordingFileSystem fs(memory, "/mem/LOG.");
  TTable t;
  CreateLog(fs, t, 200);
  t.Open();
  for (int i = 0; i < 30; ++i) {
    SCOPED_TRACE(i);
    fs.log.clear();
    t.Append();
    t.Fields(0).SetAsInteger((i * 7) % 30 + 1);
    t.Fields(1).SetAsString("Eintrag " + std::to_string(i));
    t.Post();
    // The journal is written and flushed first, each changed file is flushed after its last
    // write, and only then is the journal made void; the post need not wait for the void.
    ASSERT_GE(fs.log.size(), 5u);
    const std::string journal = fs.log[0].substr(fs.log[0].find(' ') + 1);
    EXPECT_TRUE(IsJournal(journal)) << journal;
    EXPECT_EQ(fs.log[0], "write " + journal);
    EXPECT_EQ(fs.log[1], "sync " + journal);
    EXPECT_EQ(fs.log.back(), "write " + journal);
    bool tableChanged = false;
    for (size_t k = 2; k + 1 < fs.log.size(); ++k) {
      EXPECT_FALSE(IsJournal(fs.log[k])) << fs.log[k];
      if (fs.log[k].rfind("sync ", 0) == 0) continue;
      tableChanged = true;
      const std::string path = fs.log[k].substr(fs.log[k].find(' ') + 1);
      bool synced = false;
      for (size_t later = k + 1; later + 1 < fs.log.size(); ++later) synced = synced || fs.log[later] == "sync " + path;
      EXPECT_TRUE(synced) << fs.log[k] << " not flushed";
    }
    EXPECT_TRUE(tableChanged);

    // A crash now, with the void on the disk or lost: the files as they are hold every posted
    // record, and a whole journal of a change they hold in full undoes nothing.
    for (bool voidLost : {false, true}) {
      SCOPED_TRACE(voidLost ? "Nichtigmachen verloren" : "Nichtigmachen auf der Platte");
      testsupport::MemoryFileSystem copy;
      for (const auto& p : memory.Paths()) copy.Put(p, memory.Contents(p));
      if (voidLost) {
        std::string whole = memory.Contents(journal);
        whole.replace(0, 8, "KBUNDO04");
        copy.Put(journal, whole);
      }
      TTable after;
      after.SetFileSystem(&copy);
      after.SetDatabaseName("/mem/");
      after.SetTableName("LOG.DB");
      after.Open();
      EXPECT_EQ(after.RecordCount(), i + 1);
      after.Close();
      for (const auto& p : memory.Paths())
        if (!IsJournal(p) && p.find(".~kb") == std::string::npos) {
          EXPECT_TRUE(copy.Contents(p) == memory.Contents(p)) << p;
        }
    }
  }

  // Closing makes the void of the last post durable before the journal goes, so that a crash
  // that brings the removed journal back cannot have it undo what others change after the close.
  const std::string journal = fs.log.back().substr(fs.log.back().find(' ') + 1);
  ASSERT_TRUE(IsJournal(journal)) << journal;
  fs.log.clear();
  t.Close();
  EXPECT_EQ(fs.log, std::vector<std::string>{"sync " + journal});
  EXPECT_FALSE(memory.Exists(journal));
}

void AppendLog(TTable& t, int nr) {
  t.Append();
  t.Fields(0).SetAsInteger(nr);
  t.Fields(1).SetAsString("Eintrag " + std::to_string(nr));
  t.Post();
}

std::vector<std::string> TemporaryFiles(const testsupport::MemoryFileSystem& fs) {
  std::vector<std::string> found;
  for (const std::string& path : fs.Paths())
    if (path.find(".~kb") != std::string::npos) found.push_back(path);
  return found;
}

// Between two posts a writer's journal is void: others read the table meanwhile; once the
// writer closes the table, nothing of its journal is left.
TEST(WriteDurability, BetweenPostsOthersReadAndAfterTheLastNothingIsLeft) {
  testsupport::MemoryFileSystem memory;
  TTable writer;
  CreateLog(memory, writer, 40);
  writer.Open();
  AppendLog(writer, 1);
  EXPECT_FALSE(TemporaryFiles(memory).empty());
  {
    TTable reader;
    reader.SetFileSystem(&memory);
    reader.SetDatabaseName("/mem/");
    reader.SetTableName("LOG.DB");
    reader.Open();
    EXPECT_EQ(reader.RecordCount(), 1);
  }
  AppendLog(writer, 2);
  writer.Close();
  EXPECT_EQ(TemporaryFiles(memory), std::vector<std::string>());
}

// A whole journal left by a killed writer, while another holder keeps the recovery out: a reader
// is refused in German rather than shown the half-changed table, and so is a post.
TEST(WriteDurability, AWholeJournalThatCannotBeRolledBackYetKeepsReadersAndWritersOut) {
  testsupport::MemoryFileSystem memory;
  TTable holder;
  CreateLog(memory, holder, 40);
  holder.Open();
  AppendLog(holder, 1);
  holder.Close();
  holder.Open();
  const std::string db = memory.Contents("/mem/LOG.DB");
  memory.Put("/mem/LOG.~kbwork", "");
  memory.Put("/mem/LOG.DB.~kbjrn-4711-1",
             engine::EncodeJournal({{"LOG.DB", false, db.size(), {{0, db.substr(0, 16)}}}}));
  TTable reader;
  reader.SetFileSystem(&memory);
  reader.SetDatabaseName("/mem/");
  reader.SetTableName("LOG.DB");
  try {
    reader.Open();
    ADD_FAILURE() << "a reader was let in";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrLocked);
    EXPECT_NE(std::string(e.what()).find("unterbrochene Änderung"), std::string::npos) << e.what();
  }
  try {
    AppendLog(holder, 2);
    ADD_FAILURE() << "a post went in beside the whole journal";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrLocked);
  }
  holder.Close();
  reader.Open();  // now the journal is rolled back
  EXPECT_EQ(reader.RecordCount(), 1);
  reader.Close();
  EXPECT_EQ(TemporaryFiles(memory), std::vector<std::string>());
}

}  // namespace
