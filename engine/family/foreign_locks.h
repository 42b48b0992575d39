#pragma once
// Files that other Paradox programs keep beside the tables they share over a network folder:
// the directory's lock file PDOXUSRS.LCK, the stub PARADOX.LCK that keeps programs of the DOS
// era out, a table's own <TABLE>.LCK and the net file PDOXUSRS.NET (PARADOX.NET of the DOS
// era). Their protocol is not published, so Kerbolt never writes, renames or removes them, and
// reads only what is safe to read: the layout figures of a PDOXUSRS.LCK, the net directory it
// names and its net-file id. Whether another program is at work right now only the operating
// system's byte-range locks tell (FileSystem::ProbeUse, over the whole .DB and each of these
// files): a lock held elsewhere proves use; files without one may be left over from a program
// that ended, or belong to one that does not lock them, so they prove nothing either way.
//
// Exclusive work (a rebuild in another format, replacing a table by a copy or a new one) calls
// RefuseForeignUse before it changes anything; reading never looks.

#include <cstdint>
#include <string>
#include <vector>

#include "io/file_system.h"

namespace engine {

// Whether a PDOXUSRS.LCK belongs to the net file it was checked against (same net-file id).
enum class NetFileMatch { Unchecked, Same, Different };

// One file of another program found beside a table.
struct ForeignLockFile {
  std::string name;  // as spelt in the directory
  FileUseProbe probe;
  // PDOXUSRS.LCK only, and only when its stub and its block count fit its size:
  bool layoutKnown = false;
  std::string netDirectory;  // UTF-8, as its creator saw it ("P:\", "\\server\share\")
  uint32_t netFileId = 0;
  NetFileMatch netFile = NetFileMatch::Unchecked;
  std::string netFilePath;  // the net file it was checked against
};

// What was found of other programs' use of one table.
struct ForeignUse {
  std::string tablePath;  // directory + the .DB's name
  FileUseProbe table;     // the .DB's own probe
  std::vector<ForeignLockFile> files;

  // A lock of someone else on the .DB or on one of the files.
  bool Held() const;
  // Lock files of other programs lie beside the table.
  bool Present() const { return !files.empty(); }
};

// Whether `name` is a lock or net file of other programs (*.LCK, *.NET, any letter case),
// which no operation of Kerbolt writes, renames or removes.
bool IsForeignLockFileName(const std::string& name);

// Looks for the lock files of table `dbName` in `dir` (with or without its "/"; any letter
// case), reads their safe facts, compares a PDOXUSRS.LCK's net-file id with the net file where
// one can be reached (in the net directory it names when that is a path of this system or lies
// on a mounted network share, otherwise beside the table) and probes the .DB and each file. Changes nothing; raises only
// when the directory cannot be listed.
ForeignUse FindForeignUse(FileSystem& fs, const std::string& dir, const std::string& dbName);

// German list of what was found, for messages: the .DB when it is locked, and each file with
// whether it is locked, its net directory, the net-file check and how long ago it changed
// (`nowSeconds` since 1970), separated by "; ". Names no user.
std::string ForeignUseFacts(const ForeignUse& use, int64_t nowSeconds);

// The German refusal of exclusive work: ForeignUseFacts, what they mean and how to go on.
std::string ForeignUseText(const ForeignUse& use, int64_t nowSeconds);

// Raises EDBEngineError(kErrLocked) with ForeignUseText when another program holds a lock on
// the existing table `dbName` in `dir` or one of its lock files, and when lock files lie beside
// it that no ForeignLockConsent covers. Does nothing for a table that does not exist.
void RefuseForeignUse(FileSystem& fs, const std::string& dir, const std::string& dbName);

// The user's word that the lock files seen in `seen` are left over: while the consent lives,
// RefuseForeignUse lets exclusive work on that table go on despite them, as long as no other
// lock file has appeared and no lock is held. Thread-safe.
class ForeignLockConsent {
 public:
  ForeignLockConsent(FileSystem& fs, const ForeignUse& seen);
  ~ForeignLockConsent();
  ForeignLockConsent(const ForeignLockConsent&) = delete;
  ForeignLockConsent& operator=(const ForeignLockConsent&) = delete;

 private:
  uint64_t id_;
};

}  // namespace engine
