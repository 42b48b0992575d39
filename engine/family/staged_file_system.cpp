#include "family/staged_file_system.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "family/temporary_names.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_syncs.h"
#include "io/names.h"
#include "io/writer_tag.h"

namespace engine {

namespace {

// Changes are kept in pages of this many bytes; the journal holds the old bytes of whole pages.
constexpr uint64_t kPage = 512;
// A journal made ahead is first filled with this many zeros (a void journal): a journal written
// over them changes no file size, so its sync need not wait for the file system's own journal.
constexpr uint64_t kJournalAheadBytes = 256 * 1024;

}  // namespace

// One file's kept changes. Bytes of the file as it was count up to `floor` (a truncation hides
// the rest); past it, bytes not written read as zeros. Every page byte at or past `size` is 0.
// Each kept page also holds its bytes as they were when it was first written, for the journal.
struct StagedFileSystem::Staged {
  struct Page {
    std::array<uint8_t, kPage> now;
    std::array<uint8_t, kPage> old;
  };
  File* base = nullptr;  // the file as it is on disk; null for a file the change creates
  bool created = false;
  uint64_t baseSize = 0;
  uint64_t floor = 0;
  uint64_t size = 0;
  std::map<uint64_t, Page> pages;  // by page number

  void LoadBase(uint64_t offset, uint8_t* dst, size_t n) const {
    std::memset(dst, 0, n);
    if (base && offset < floor) base->ReadAt(offset, dst, static_cast<size_t>(std::min<uint64_t>(n, floor - offset)));
  }

  // Keeps pages `first` to `last`, reading each run of them not yet kept in one read.
  void KeepPages(uint64_t first, uint64_t last) {
    std::vector<uint8_t> run;
    for (uint64_t number = first; number <= last;) {
      if (pages.count(number) != 0) {
        ++number;
        continue;
      }
      uint64_t end = number + 1;
      while (end <= last && pages.count(end) == 0) ++end;
      run.resize(static_cast<size_t>((end - number) * kPage));
      LoadBase(number * kPage, run.data(), run.size());
      for (uint64_t k = number; k < end; ++k) {
        Page& page = pages[k];
        std::memcpy(page.now.data(), run.data() + (k - number) * kPage, kPage);
        page.old = page.now;
      }
      number = end;
    }
  }

  size_t Read(uint64_t offset, uint8_t* dst, size_t n) const {
    if (offset >= size) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, size - offset));
    size_t done = 0;
    while (done < n) {
      const uint64_t at = offset + done;
      auto it = pages.lower_bound(at / kPage);
      if (it != pages.end() && it->first == at / kPage) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(n - done, kPage - at % kPage));
        std::memcpy(dst + done, it->second.now.data() + at % kPage, part);
        done += part;
        continue;
      }
      // Up to the next kept page in one read.
      const uint64_t until = it == pages.end() ? offset + n : std::min<uint64_t>(offset + n, it->first * kPage);
      LoadBase(at, dst + done, static_cast<size_t>(until - at));
      done += static_cast<size_t>(until - at);
    }
    return n;
  }

  void Write(uint64_t offset, const uint8_t* src, size_t n) {
    if (n == 0) return;
    KeepPages(offset / kPage, (offset + n - 1) / kPage);
    size_t done = 0;
    while (done < n) {
      const uint64_t at = offset + done;
      const size_t part = static_cast<size_t>(std::min<uint64_t>(n - done, kPage - at % kPage));
      std::memcpy(pages.at(at / kPage).now.data() + at % kPage, src + done, part);
      done += part;
    }
    size = std::max<uint64_t>(size, offset + n);
  }

  void Truncate(uint64_t to) {
    if (to < size) {
      floor = std::min(floor, to);
      pages.erase(pages.lower_bound((to + kPage - 1) / kPage), pages.end());
      const auto it = pages.find(to / kPage);
      if (to % kPage != 0 && it != pages.end())
        std::fill(it->second.now.begin() + static_cast<long>(to % kPage), it->second.now.end(), 0);
    }
    size = to;
  }
};

// A file opened through the staged file system: reads and writes go to the kept changes while
// the file has some, to the file on disk otherwise.
class StagedFileSystem::StagedFile : public File {
 public:
  StagedFile(StagedFileSystem& fs, std::string path, OpenMode mode, std::unique_ptr<File> base)
      : fs_(fs), path_(std::move(path)), mode_(mode), base_(std::move(base)) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override {
    if (const Staged* s = fs_.Find(path_)) return s->size;
    return Base().Size();
  }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    if (const Staged* s = fs_.Find(path_)) return s->Read(offset, static_cast<uint8_t*>(dst), n);
    return Base().ReadAt(offset, dst, n);
  }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    if (fs_.active_)
      fs_.Stage(path_).Write(offset, static_cast<const uint8_t*>(src), n);
    else
      Base().WriteAt(offset, src, n);
  }
  void Truncate(uint64_t size) override {
    if (fs_.active_)
      fs_.Stage(path_).Truncate(size);
    else
      Base().Truncate(size);
  }
  void Sync() override {
    if (!fs_.active_) Base().Sync();
  }

 private:
  // The file on disk, opened on first need when the file was created by the kept changes.
  File& Base() const {
    if (!base_) base_ = fs_.base_.Open(path_, mode_ == OpenMode::ReadOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite);
    return *base_;
  }

  StagedFileSystem& fs_;
  std::string path_;
  OpenMode mode_;
  mutable std::unique_ptr<File> base_;
};

StagedFileSystem::StagedFileSystem(FileSystem& base, std::string dir, std::string dbName)
    : base_(base), dir_(std::move(dir)), dbName_(std::move(dbName)) {}


void StagedFileSystem::Begin() {
  staged_.clear();
  active_ = true;
}

void StagedFileSystem::Discard() {
  staged_.clear();
  handles_.clear();
  active_ = false;
}

StagedFileSystem::Staged* StagedFileSystem::Find(const std::string& path) {
  const auto it = staged_.find(path);
  return it == staged_.end() ? nullptr : it->second.get();
}

StagedFileSystem::Staged& StagedFileSystem::Stage(const std::string& path) {
  if (Staged* s = Find(path)) return *s;
  auto s = std::make_unique<Staged>();
  s->base = &Handle(path);
  s->baseSize = s->floor = s->size = s->base->Size();
  return *staged_.emplace(path, std::move(s)).first->second;
}

void StagedFileSystem::StageCreated(const std::string& path) {
  if (Find(path) || base_.Exists(path)) {
    Stage(path).Truncate(0);
    return;
  }
  auto s = std::make_unique<Staged>();
  s->created = true;
  staged_.emplace(path, std::move(s));
}

std::unique_ptr<File> StagedFileSystem::Open(const std::string& path, OpenMode mode) {
  if (active_ && mode == OpenMode::CreateTruncate) {
    StageCreated(path);
    return std::make_unique<StagedFile>(*this, path, mode, nullptr);
  }
  const Staged* s = active_ ? Find(path) : nullptr;
  if (s && s->created) return std::make_unique<StagedFile>(*this, path, mode, nullptr);
  if (active_ && mode == OpenMode::ReadWrite) {
    Handle(path);  // raises as an open would; the file reads through the kept changes
    return std::make_unique<StagedFile>(*this, path, mode, nullptr);
  }
  return std::make_unique<StagedFile>(*this, path, mode, base_.Open(path, mode));
}

File& StagedFileSystem::Handle(const std::string& path) {
  auto& handle = handles_[path];
  if (!handle) {
    try {
      handle = base_.Open(path, OpenMode::ReadWrite);
    } catch (...) {
      handles_.erase(path);
      throw;
    }
  }
  return *handle;
}

bool StagedFileSystem::Exists(const std::string& path) {
  const Staged* s = active_ ? Find(path) : nullptr;
  return (s && s->created) || base_.Exists(path);
}

void StagedFileSystem::Remove(const std::string& path) {
  if (active_)
    FailPlain(kErrInvalidState, "Interner Fehler: Beim Speichern einer Änderung wird keine Datei gelöscht.");
  base_.Remove(path);
}

void StagedFileSystem::Rename(const std::string& from, const std::string& to) {
  if (active_)
    FailPlain(kErrInvalidState, "Interner Fehler: Beim Speichern einer Änderung wird keine Datei umbenannt.");
  base_.Rename(from, to);
}

void StagedFileSystem::SyncDir(const std::string& dir) {
  if (!active_) base_.SyncDir(dir);
}

std::vector<JournalFile> StagedFileSystem::Journal() {
  std::vector<JournalFile> files;
  for (auto entry = staged_.begin(); entry != staged_.end();) {
    const std::string& path = entry->first;
    Staged& s = *entry->second;
    if (path.compare(0, dir_.size(), dir_) != 0 || path.find('/', dir_.size()) != std::string::npos)
      Fail(kErrInvalidParam, path, "Interner Fehler: Die Datei liegt nicht im Verzeichnis der Tabelle.");
    JournalFile f{path.substr(dir_.size()), s.created, s.baseSize, {}};
    for (auto page = s.pages.begin(); page != s.pages.end();) {
      const uint64_t start = page->first * kPage;
      if (s.created || start >= s.floor) break;  // past the old bytes: the old size undoes it
      const uint64_t end = std::min(start + kPage, s.floor);
      const std::array<uint8_t, kPage>& before = page->second.old;
      if (end == start + kPage && end <= s.size && before == page->second.now) {
        page = s.pages.erase(page);  // changes nothing
        continue;
      }
      const std::string old(reinterpret_cast<const char*>(before.data()), static_cast<size_t>(end - start));
      if (!f.ranges.empty() && f.ranges.back().first + f.ranges.back().second.size() == start)
        f.ranges.back().second += old;
      else
        f.ranges.emplace_back(start, old);
      ++page;
    }
    if (!s.created && s.floor < s.baseSize) {
      std::string tail(static_cast<size_t>(s.baseSize - s.floor), '\0');
      s.base->ReadAt(s.floor, tail.data(), tail.size());
      f.ranges.emplace_back(s.floor, std::move(tail));
    }
    if (!s.created && f.ranges.empty() && s.size == s.baseSize) {
      entry = staged_.erase(entry);  // the file stays as it is
      continue;
    }
    f.afterKnown = true;
    f.newSize = s.size;
    std::vector<uint8_t> piece(kAfterPiece);
    for (const auto& [offset, length] : AfterRegions(f))
      for (uint64_t at = 0; at < length; at += kAfterPiece) {
        const size_t n = static_cast<size_t>(std::min(kAfterPiece, length - at));
        s.Read(offset + at, piece.data(), n);
        f.afterSums.push_back(PieceChecksum(piece.data(), n));
        if (offset + at == 0 && !f.ranges.empty() && f.ranges.front().first == 0)
          f.afterHead.assign(reinterpret_cast<const char*>(piece.data()), n);
      }
    files.push_back(std::move(f));
    ++entry;
  }
  return files;
}

void StagedFileSystem::CheckNoOtherWork() {
  const std::string base = BaseNameOf(dbName_);
  for (const std::string& name : base_.List(ListableDir(dir_))) {
    TemporaryName t;
    if (!ParseTemporaryName(name, &t) || t.kind != kJournalSuffix || !EqualsIgnoringCase(BaseNameOf(t.plain), base))
      continue;
    if (journal_ && dir_ + name == journalPath_) continue;  // this writer's own, still void
    std::vector<JournalFile> files;
    if (ReadJournal(base_, dir_, dbName_, name, &files))
      Fail(kErrLocked, dir_ + dbName_, "Ein anderes Programm ändert die Tabelle gerade, oder seine Änderung wurde "
                                       "abgebrochen und ist noch nicht zurückgenommen. Die Änderung wurde nicht "
                                       "gespeichert; bitte die Tabelle schließen und erneut öffnen.");
  }
}

void StagedFileSystem::MakeJournalAhead() {
  if (journal_ || journalAhead_.valid() || !base_.SyncsInParallel()) return;
  std::promise<void> named;
  journalNamed_ = named.get_future();
  journalAhead_ = std::async(std::launch::async, [this, named = std::move(named)]() mutable {
    try {
      MakeJournal(kJournalAheadBytes);
    } catch (...) {
      named.set_exception(std::current_exception());
      return;
    }
    File& file = *journal_;
    named.set_value();
    // The zeros reach the disk while the first change is prepared: a journal written over them
    // then changes no file size. A failure is kept for Apply: the system may report it to this
    // sync and not again to the journal's own.
    file.Sync();
  });
}

void StagedFileSystem::OpenJournal() {
  if (journalNamed_.valid()) journalNamed_.get();
  CheckNoOtherWork();
  othersChecked_ = true;
  if (!journal_) MakeJournal(0);
}

void StagedFileSystem::MakeJournal(uint64_t zeros) {
  const std::string path = dir_ + dbName_ + kJournalSuffix + WriterTag();
  try {
    MarkWork(base_, dir_, dbName_);
    auto file = base_.Open(path, OpenMode::CreateTruncate);
    if (zeros > 0) {
      const std::vector<uint8_t> bytes(static_cast<size_t>(zeros), 0);
      file->WriteAt(0, bytes.data(), bytes.size());
    }
    base_.SyncDir(ListableDir(dir_));
    journal_ = std::move(file);
    journalPath_ = path;
  } catch (...) {
    RemoveQuietly(base_, path);
    UnmarkWorkIfSettled(base_, dir_, dbName_);
    throw;
  }
}

void StagedFileSystem::VoidJournal(bool durably) {
  const std::vector<uint8_t> zeros(VoidedJournalBytes(), 0);
  journal_->WriteAt(0, zeros.data(), zeros.size());
  if (durably)
    journal_->Sync();
  else
    journal_->StartWriteBack(0, zeros.size());
  journalWhole_ = false;
}

void StagedFileSystem::WriteOut(const std::string& path, Staged& s) {
  if (s.created) handles_[path] = base_.Open(path, OpenMode::CreateTruncate);
  File* file = &Handle(path);
  if (!s.created && s.floor < s.baseSize) file->Truncate(s.floor);
  // The file's size as the writes leave it, known without asking the file.
  uint64_t written = s.created ? 0 : std::min(s.floor, s.baseSize);
  // Runs of neighbouring pages go in one write.
  std::vector<uint8_t> run;
  uint64_t runStart = 0;
  const auto flush = [&] {
    const uint64_t end = std::min<uint64_t>(runStart + run.size(), s.size);
    if (end > runStart) {
      file->WriteAt(runStart, run.data(), static_cast<size_t>(end - runStart));
      written = std::max(written, end);
    }
    run.clear();
  };
  for (const auto& [number, page] : s.pages) {
    if (!run.empty() && runStart + run.size() != number * kPage) flush();
    if (run.empty()) runStart = number * kPage;
    run.insert(run.end(), page.now.begin(), page.now.end());
  }
  if (!run.empty()) flush();
  if (written != s.size) file->Truncate(s.size);
}

void StagedFileSystem::Apply() {
  active_ = false;
  try {
    const std::vector<JournalFile> files = Journal();
    if (files.empty()) {
      staged_.clear();
      return;
    }
    if (!othersChecked_) OpenJournal();
    const std::string text = EncodeJournal(files);
    journal_->WriteAt(0, text.data(), text.size());
    journal_->Sync();
    if (journalAhead_.valid()) journalAhead_.get();  // the zeros' sync, over by now
    journalWhole_ = true;
    try {
      // The files depend only on the journal, not on each other: they are synced together.
      bool created = false;
      std::vector<File*> written;
      for (auto& [path, s] : staged_) {
        WriteOut(path, *s);
        written.push_back(&Handle(path));
        created = created || s->created;
      }
      SyncFiles(written, base_.SyncsInParallel());
      if (created) base_.SyncDir(ListableDir(dir_));
      // Every file now holds the change durably, which the journal's checksums recognise: the
      // void need not be durable before the change returns (post_journal.h).
      VoidJournal(false);
    } catch (...) {
      // Back to the old files now (a journal that cannot be made void would undo the change at
      // the next open, so the change is reported as failed then too); when that fails as well,
      // the journal stays for the next command's recovery.
      try {
        UndoJournal(base_, dir_, files);
        VoidJournal(true);
      } catch (const EDBEngineError&) {
      }
      throw;
    }
  } catch (...) {
    staged_.clear();
    handles_.clear();
    throw;
  }
  staged_.clear();
}

StagedFileSystem::~StagedFileSystem() {
  if (journalAhead_.valid()) journalAhead_.wait();  // a failed making removed what it made
  if (!journal_ || journalWhole_) return;  // a whole journal is left for recovery
  // The void of the last change reaches the disk before the table is left to others: a journal
  // whose removal a crash undid, come back whole over their later changes, could undo these.
  try {
    journal_->Sync();
  } catch (const EDBEngineError&) {
    // The journal goes all the same; the next recovery reads what reached the disk.
  }
  journal_.reset();
  RemoveQuietly(base_, journalPath_);
  UnmarkWorkIfSettled(base_, dir_, dbName_);
}

}  // namespace engine
