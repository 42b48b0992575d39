#pragma once
// Splitting a table path given on the command line into its directory (ending in "/") and its
// file name.

#include <string>

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

}  // namespace cli
