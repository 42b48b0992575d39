#pragma once
// Helpers for tests that run the built kerbolt-cli as a user does: a temporary folder, the
// program's exit status with its stdout and stderr, and copies of sample tables.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli_test {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kerbolt-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern + "/";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline CliRun RunCli(const std::vector<std::string>& args, const TempDir& dir) {
  std::string command = std::string(KERBOLT_BIN_DIR) + "/kerbolt-cli";
  for (const auto& a : args) command += " '" + a + "'";
  command += " >" + dir.Path() + "out.txt 2>" + dir.Path() + "err.txt";
  CliRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(dir.Path() + "out.txt");
  r.err = ReadFile(dir.Path() + "err.txt");
  return r;
}

inline std::string Fixtures() {
  const fs::path dir(KERBOLT_FIXTURES_DIR);
  return fs::is_directory(dir / "tables") ? dir.string() + "/" : "";
}

// Copies a sample table with its companions into dir; returns the copy's path.
inline std::string CopyTable(const std::string& relative, const std::string& dir) {
  const fs::path source = fs::path(Fixtures()) / "tables" / relative;
  for (const auto& e : fs::directory_iterator(source.parent_path()))
    if (e.path().stem() == source.stem()) fs::copy_file(e.path(), fs::path(dir) / e.path().filename());
  return dir + source.filename().string();
}

}  // namespace cli_test
