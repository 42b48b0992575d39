#include "testsupport/dir_snapshot.h"

#include <sys/stat.h>

#include <filesystem>

#include "testsupport/file_bytes.h"

namespace testsupport {

std::map<std::string, FileState> SnapshotDir(const std::string& dir, const std::string& skipSuffix) {
  std::map<std::string, FileState> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (!skipSuffix.empty() && name.size() >= skipSuffix.size() &&
        name.compare(name.size() - skipSuffix.size(), skipSuffix.size(), skipSuffix) == 0)
      continue;
    FileState state;
    state.bytes = ReadBytes(entry.path());
    struct stat st;
    if (::stat(entry.path().c_str(), &st) == 0)
      state.modifiedNanoseconds = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    files[name] = std::move(state);
  }
  return files;
}

}  // namespace testsupport
