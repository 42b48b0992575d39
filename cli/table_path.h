#pragma once
// Splitting a table path given on the command line into its directory (ending in "/") and its
// file name; telling directories apart; listing the tables of a directory.

#include <sys/stat.h>

#include <string>
#include <vector>

#include "direct/table_verify.h"
#include "io/file_system.h"

namespace cli {

struct TablePath {
  std::string directory;
  std::string name;
};

inline TablePath SplitTablePath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"./", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Whether `path` names a directory.
inline bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// `dir` ending in "/".
inline std::string DirectoryWithSlash(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

// The paths of the tables in the directory `dir`.
inline std::vector<std::string> TablePathsIn(engine::FileSystem& fs, const std::string& dir) {
  const std::string prefix = DirectoryWithSlash(dir);
  std::vector<std::string> paths;
  for (const std::string& name : engine::TableFilesIn(fs, prefix)) paths.push_back(prefix + name);
  return paths;
}

}  // namespace cli
