#include "direct/table_location.h"

#include "family/table_access.h"
#include "io/names.h"

namespace engine {

LockedTable LockTableAt(FileSystem& fs, const std::string& path, bool exclusive) {
  const std::string given = FileNameOf(path);
  LockedTable t;
  t.dir = path.size() == given.size() ? "./" : path.substr(0, path.size() - given.size());
  t.lock = LockTableSettled(fs, t.dir, FindFileIgnoringCase(fs, t.dir, given), exclusive);
  // A recovery may have put the .DB back under its own spelling.
  t.name = FindFileIgnoringCase(fs, t.dir, given);
  if (!fs.Exists(t.dir + t.name)) fs.Open(t.dir + t.name, OpenMode::ReadOnly);  // raises "not found"
  return t;
}

}  // namespace engine
