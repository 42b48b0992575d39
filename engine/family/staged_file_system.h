#pragma once
// The file system through which a post or a delete changes a table's files, so that a process
// killed at any point leaves the table wholly old or wholly new. Between Begin and Apply every
// change (writes, truncations, new files) is kept in memory, where reads of the same files see
// it, and syncs wait. Apply then
//   1. writes the undo journal (post_journal.h) of exactly the bytes about to change, with each
//      file's old size, and makes it durable: one write, one sync;
//   2. writes the changes to the files and makes them durable, all at once where the file
//      system allows (file_syncs.h);
//   3. makes the journal void: one small write, handed to the disk without waiting for it (the
//      journal's checksums of what the change leaves tell a completed change from a cut-off one
//      should the void not reach the disk; post_journal.h).
// The journal file is made, with the table's work mark (temporary_names.h), by the first Apply
// (or ahead of it, MakeJournalAhead) and removed when the file system goes (its void made durable
// first), so that a post changes no directory: creating and removing files would cost every post a
// journal commit of the file system. The next command that touches the table rolls back a whole
// journal that was left (table_access.h).
// Outside Begin/Apply the file system passes everything through. Not thread-safe.

#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "family/post_journal.h"
#include "io/file_system.h"

namespace engine {

class StagedFileSystem : public FileSystem {
 public:
  // For changes to the table `dbName` in `dir`, whose files are all in `dir`.
  StagedFileSystem(FileSystem& base, std::string dir, std::string dbName);
  // Removes this writer's journal file and, when no other is left, the table's work mark; a
  // whole journal (a change that could not be undone at once) stays for recovery.
  ~StagedFileSystem() override;

  // Makes the table's work mark and this writer's journal file on another thread, where the
  // file system allows, so that the first Apply finds them made instead of waiting for the
  // directory's sync. Apply waits until their names are durable (and raises what making them
  // raised) before it writes the journal, and for the sync of the journal's zeros that follows on
  // that thread only after the journal's own sync, raising what that sync raised: a failed write
  // of the file is reported to one sync of it alone.
  void MakeJournalAhead();
  // Keeps changes in memory from now on.
  void Begin();
  // Puts the kept changes into the files as described above. The first one refuses
  // (kErrLocked) while another writer's journal of the table is whole. On a failure the files
  // are put back from the journal (or left for the next command's recovery when that fails
  // too), the kept changes are dropped and the failure goes on.
  void Apply();
  // Drops the kept changes; the files stay as they were.
  void Discard();

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  bool Exists(const std::string& path) override;
  void Remove(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  std::vector<std::string> List(const std::string& dir) override { return base_.List(dir); }
  void SyncDir(const std::string& dir) override;
  std::unique_ptr<TableLock> Lock(const std::string& path, bool exclusive) override {
    return base_.Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return base_.CanonicalPath(path); }
  FileUseProbe ProbeUse(const std::string& path) override { return base_.ProbeUse(path); }

 private:
  struct Staged;
  class StagedFile;
  Staged* Find(const std::string& path);
  // The file on disk, opened for writing once and kept from one change to the next.
  File& Handle(const std::string& path);
  Staged& Stage(const std::string& path);
  void StageCreated(const std::string& path);
  // Journal entries of the kept changes; drops pages that change nothing.
  std::vector<JournalFile> Journal();
  // Refuses while another writer's journal of the table is whole: it is at work or was killed.
  void CheckNoOtherWork();
  // Refuses other work on the table, then has the work mark and journal file made (ahead or now).
  void OpenJournal();
  // Makes the table's work mark and this writer's journal file, their names durably; the file
  // holds `zeros` zero bytes, not synced yet.
  void MakeJournal(uint64_t zeros);
  // Overwrites the journal's start; `durably` waits until that is on the disk.
  void VoidJournal(bool durably);
  void WriteOut(const std::string& path, Staged& staged);

  FileSystem& base_;
  std::string dir_;
  std::string dbName_;
  bool active_ = false;
  std::map<std::string, std::unique_ptr<Staged>> staged_;
  std::map<std::string, std::unique_ptr<File>> handles_;
  std::future<void> journalAhead_;  // MakeJournalAhead's making, with the sync of the zeros
  std::future<void> journalNamed_;  // ready once the names it made are durable
  bool othersChecked_ = false;       // CheckNoOtherWork has passed
  std::unique_ptr<File> journal_;
  std::string journalPath_;
  bool journalWhole_ = false;  // a change may be half in place
};

}  // namespace engine
