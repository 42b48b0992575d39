#pragma once
// Test helpers: temporary directories, copies of sample table families, file bytes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace engine::testing {

// A fresh directory under the system's temp folder, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Path ending in "/".
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The sample tables' folder ("" when absent).
std::string FixturesDir();
// Paths (relative to tables/) of every sample table, sorted.
std::vector<std::string> FixtureTables();
// Copies the table file `relative` (under tables/) and every file of its family (same base
// name, any extension, any case) into dir. Returns the copied table's path.
std::string CopyFamily(const std::string& relative, const std::string& dir);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadText(const std::string& path);

}  // namespace engine::testing
