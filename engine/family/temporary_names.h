#pragma once
// Names of the temporary files that writers leave beside a table while they work: the final name
// of the file they stand for, a kind suffix and the writer's tag (io/writer_tag.h), e.g.
// "KUNDEN.PX.~kbnew-4711-3". Recovery finds them by this pattern; names without a tag (written
// by earlier versions) are recognised as well.
//
// Finding them takes a listing of the directory, which opening a table must not cost (a scan
// opens every table of a folder). So a writer first puts the work mark "<BASE>.~kbwork" beside
// the table, and takes it away only once none of its temporary files is left: an open that finds
// the .DB and no mark knows without a listing that there is nothing to settle.

#include <string>

namespace engine {

class FileSystem;

constexpr char kNewSuffix[] = ".~kbnew";    // a file of a new family, not yet in place
constexpr char kOldSuffix[] = ".~kbold";    // a file of the old family, renamed away by a commit
constexpr char kListSuffix[] = ".~kblist";  // the final names of a commit's new files
constexpr char kJournalSuffix[] = ".~kbjrn";  // the undo journal of a change made in place
constexpr char kWorkSuffix[] = ".~kbwork";    // the work mark, after the base name in capitals

// A temporary name taken apart.
struct TemporaryName {
  std::string plain;  // the final name it stands for ("KUNDEN.PX")
  std::string kind;   // one of the suffixes above
  std::string tag;    // the writer's tag, possibly empty
};

// Whether `name` (a file name, not a path) is a temporary name of the kinds above.
bool ParseTemporaryName(const std::string& name, TemporaryName* out);

// The suffix for the new files of one writer: kNewSuffix and a tag of its own.
std::string NewFilesSuffix();

// The work mark of table `dbName` (a name, not a path).
std::string WorkMarkName(const std::string& dbName);
// Puts the work mark of table `dbName` in `dir` (not made durable: the caller's next directory
// sync does that, before anything relies on it).
void MarkWork(FileSystem& fs, const std::string& dir, const std::string& dbName);
// Takes the work mark away when no temporary file of the table is left; never raises (a mark
// left behind costs the next open a listing, nothing more).
void UnmarkWorkIfSettled(FileSystem& fs, const std::string& dir, const std::string& dbName);
// Removes the file at `path` when it is there; for failure paths, which report the failure that
// led there: a failed removal is left for the next recovery.
void RemoveQuietly(FileSystem& fs, const std::string& path);

}  // namespace engine
