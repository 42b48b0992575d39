#include "family/family_swap.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "family/foreign_locks.h"
#include "family/post_journal.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"

namespace engine {

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

void RenameQuietly(FileSystem& fs, const std::string& from, const std::string& to) {
  try {
    if (fs.Exists(from)) fs.Rename(from, to);
  } catch (const EDBEngineError&) {
    // As above: RecoverTableFamily finishes the job on the next write.
  }
}

// For failure paths, which report the failure that led there: whether the sync succeeded.
bool SyncQuietly(FileSystem& fs, const std::string& dir) {
  try {
    fs.SyncDir(ListableDir(dir));
    return true;
  } catch (const EDBEngineError&) {
    return false;
  }
}

// After the new family is in place: a failed sync is raised, saying that the swap happened.
void SyncSwapped(FileSystem& fs, const std::string& dir) {
  try {
    fs.SyncDir(ListableDir(dir));
  } catch (const EDBEngineError& e) {
    FailPlain(e.ErrorCode(), std::string("Die Tabellendateien wurden ersetzt, der Wechsel ist aber nicht sicher "
                                         "auf dem Datenträger: ") + e.what());
  }
}

std::vector<std::string> ReadList(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::ReadOnly);
  std::string text(static_cast<size_t>(file->Size()), '\0');
  text.resize(file->ReadAt(0, text.data(), text.size()));
  std::vector<std::string> names;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The temporary files of one writer's commit, by the final names they stand for.
struct Leftovers {
  std::vector<std::string> news, olds, lists;
};

// Every temporary file of one table: commits by the writer's tag, journals by their names, and
// whether the work mark is there.
struct TableLeftovers {
  std::map<std::string, Leftovers> commits;
  std::vector<std::string> journals;
  bool marked = false;
  bool None() const { return commits.empty() && journals.empty() && !marked; }
};

TableLeftovers FindLeftovers(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  const std::string base = UpperAscii(BaseNameOf(dbName));
  TableLeftovers found;
  for (const std::string& name : fs.List(ListableDir(dir))) {
    TemporaryName t;
    if (!ParseTemporaryName(name, &t) || UpperAscii(BaseNameOf(t.plain)) != base) continue;
    if (t.kind == kWorkSuffix) {
      found.marked = true;
      continue;
    }
    if (t.kind == kJournalSuffix) {
      found.journals.push_back(name);
      continue;
    }
    Leftovers& commit = found.commits[t.tag];
    if (t.kind == kNewSuffix) commit.news.push_back(t.plain);
    if (t.kind == kOldSuffix) commit.olds.push_back(t.plain);
    if (t.kind == kListSuffix) commit.lists.push_back(t.plain);
  }
  return found;
}

// The writer's tag in the temporary path of a new file ("" for a name without one).
std::string TagOf(const std::string& path) {
  TemporaryName t;
  return ParseTemporaryName(FileNameOf(path), &t) ? t.tag : std::string();
}

// Finishes or undoes the interrupted commit of one writer (tag `tag`).
void RecoverCommit(FileSystem& fs, const std::string& dir, const std::string& tag, const Leftovers& found) {
  const std::vector<std::string>& news = found.news;
  const std::vector<std::string>& olds = found.olds;
  const std::vector<std::string>& lists = found.lists;
  const std::string oldSuffix = kOldSuffix + tag;
  std::vector<std::string> listed;
  for (const auto& l : lists) {
    const auto names = ReadList(fs, dir + l + kListSuffix + tag);
    listed.insert(listed.end(), names.begin(), names.end());
  }
  const bool allPlaced = !lists.empty() && news.empty();
  if (allPlaced) {
    for (const auto& name : olds) fs.Remove(dir + name + oldSuffix);
  } else if (lists.empty() && news.empty()) {
    // Old files without a commit list: put back only what has no file in its place.
    for (const auto& name : olds) {
      if (fs.Exists(dir + name))
        fs.Remove(dir + name + oldSuffix);
      else
        fs.Rename(dir + name + oldSuffix, dir + name);
    }
  } else {
    // The commit had not placed every new file: back to the old family.
    const std::set<std::string> waiting(news.begin(), news.end());
    const std::set<std::string> backedUp(olds.begin(), olds.end());
    // A damaged list must not take another program's lock file for a new file of ours.
    for (const auto& name : listed)
      if (!waiting.count(name) && !backedUp.count(name) && !IsForeignLockFileName(name) && fs.Exists(dir + name))
        fs.Remove(dir + name);
    for (const auto& name : olds) fs.Rename(dir + name + oldSuffix, dir + name);
    for (const auto& name : news) fs.Remove(dir + name + kNewSuffix + tag);
  }
  fs.SyncDir(ListableDir(dir));
  for (const auto& l : lists) fs.Remove(dir + l + kListSuffix + tag);
  fs.SyncDir(ListableDir(dir));
}

}  // namespace

bool IsFamilyExtension(const std::string& extUpper) {
  if (extUpper == "DB" || extUpper == "PX" || extUpper == "MB") return true;
  if (extUpper.size() != 3 || (extUpper[0] != 'X' && extUpper[0] != 'Y')) return false;
  if (extUpper[1] == 'G') return IsHex(extUpper[2]);
  return IsHex(extUpper[1]) && IsHex(extUpper[2]);
}

std::vector<std::string> ExistingFamily(FileSystem& fs, const std::string& dir, const std::string& dbName,
                                        bool allCompanions) {
  const std::string base = UpperAscii(BaseNameOf(dbName));
  std::vector<std::string> out;
  for (const std::string& name : fs.List(ListableDir(dir))) {
    if (name.find('.') == std::string::npos || UpperAscii(BaseNameOf(name)) != base) continue;
    if (IsForeignLockFileName(name)) continue;  // another program's <TABLE>.LCK stays where it is
    const std::string ext = UpperAscii(ExtensionOf(name));
    if (allCompanions ? ext.find('~') == std::string::npos : IsFamilyExtension(ext)) out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void DiscardFamily(FileSystem& fs, const std::vector<WrittenFile>& written) {
  for (const auto& w : written) RemoveQuietly(fs, w.path);
  if (written.empty()) return;
  const std::string& path = written.front().path;
  UnmarkWorkIfSettled(fs, path.substr(0, path.size() - FileNameOf(path).size()), written.front().finalName);
}

void CommitFamily(FileSystem& fs, const std::string& dir, const std::vector<std::string>& replaced,
                  const std::vector<WrittenFile>& written) {
  const std::string dbName = written.empty() ? std::string() : written.front().finalName;
  const std::string tag = written.empty() ? std::string() : TagOf(written.front().path);
  const std::string oldSuffix = kOldSuffix + tag;
  const std::string listPath = dir + dbName + kListSuffix + tag;
  std::vector<std::string> moved;
  std::vector<std::string> placed;
  try {
    std::string list;
    for (const auto& w : written) list += w.finalName + "\n";
    {
      auto file = fs.Open(listPath, OpenMode::CreateTruncate);
      file->WriteAt(0, list.data(), list.size());
      file->Sync();
    }
    for (const auto& name : replaced) {
      fs.Rename(dir + name, dir + name + oldSuffix);
      moved.push_back(name);
    }
    fs.SyncDir(ListableDir(dir));
    for (const auto& w : written) {
      fs.Rename(w.path, dir + w.finalName);
      placed.push_back(w.finalName);
    }
    fs.SyncDir(ListableDir(dir));
  } catch (...) {
    // Back to the state of a commit interrupted before its new files were placed (placed ones
    // under their temporary names again, old ones under their own), which recovery undoes
    // whatever part of it reaches the disk. The new files and the list go only once that state
    // is durable; until then recovery needs them to tell the new files from the old.
    for (size_t i = 0; i < placed.size(); ++i) RenameQuietly(fs, dir + placed[i], written[i].path);
    for (const auto& name : moved) RenameQuietly(fs, dir + name + oldSuffix, dir + name);
    if (SyncQuietly(fs, dir)) {
      DiscardFamily(fs, written);
      RemoveQuietly(fs, listPath);
      SyncQuietly(fs, dir);
      UnmarkWorkIfSettled(fs, dir, dbName);
    }
    throw;
  }
  // The list goes last, and only once the removals of the old files are durable: without the
  // list, recovery would take an old file that came back (one the new family lacks, such as a
  // dropped index) for a file of an unfinished commit and put it back. A failed sync keeps the
  // list, so that recovery finishes the job, and is raised.
  bool allRemoved = true;
  for (const auto& name : moved) {
    RemoveQuietly(fs, dir + name + oldSuffix);
    allRemoved = allRemoved && !fs.Exists(dir + name + oldSuffix);
  }
  if (!allRemoved) return;  // the list stays; recovery removes the rest
  // With no old file, the directory is as the sync after the renames left it.
  if (!moved.empty()) SyncSwapped(fs, dir);
  RemoveQuietly(fs, listPath);
  SyncSwapped(fs, dir);
  UnmarkWorkIfSettled(fs, dir, dbName);
}

namespace {

// Whether nothing can be left over: the .DB is there and neither the work mark nor the untagged
// list or new .DB of a commit by an earlier version. Asked on every open, so that the directory
// is listed only when something tells of a writer.
bool SurelySettled(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  const std::string db = dir + dbName;
  return fs.Exists(db) && !fs.Exists(dir + WorkMarkName(dbName)) && !fs.Exists(db + kListSuffix) &&
         !fs.Exists(db + kNewSuffix);
}

}  // namespace

bool HasCommitLeftovers(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  return !SurelySettled(fs, dir, dbName) && !FindLeftovers(fs, dir, dbName).None();
}

bool HasUnsettledChanges(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  if (SurelySettled(fs, dir, dbName)) return false;
  const TableLeftovers found = FindLeftovers(fs, dir, dbName);
  if (!found.commits.empty()) return true;
  std::vector<JournalFile> files;
  for (const auto& journal : found.journals)
    if (ReadJournal(fs, dir, dbName, journal, &files)) return true;
  return false;
}

std::vector<std::string> TablesWithCommitLeftovers(FileSystem& fs, const std::string& dir) {
  std::map<std::string, std::string> byBase;  // upper-case base name -> .DB name
  for (const std::string& name : fs.List(ListableDir(dir))) {
    TemporaryName t;
    if (!ParseTemporaryName(name, &t)) continue;
    std::string& db = byBase[UpperAscii(BaseNameOf(t.plain))];
    if (UpperAscii(ExtensionOf(t.plain)) == "DB")
      db = t.plain;
    else if (db.empty())
      db = BaseNameOf(t.plain) + ".DB";
  }
  std::vector<std::string> tables;
  for (const auto& entry : byBase) tables.push_back(entry.second);
  return tables;
}

void RecoverTableFamily(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  const TableLeftovers found = FindLeftovers(fs, dir, dbName);
  for (const auto& journal : found.journals) RollBackJournal(fs, dir, dbName, journal);
  for (const auto& [tag, commit] : found.commits) RecoverCommit(fs, dir, tag, commit);
  if (found.marked) fs.Remove(dir + WorkMarkName(dbName));
}

}  // namespace engine
