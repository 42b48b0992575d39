#pragma once
// A temporary folder for one test: created fresh under the system's temporary folder and removed
// with everything in it at the end of its scope.

#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder's path, ending in "/".
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace testsupport
