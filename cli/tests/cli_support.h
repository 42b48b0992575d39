#pragma once
// Running the built kerbolt-cli as a user does: its exit status with its stdout and stderr.

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testsupport/file_bytes.h"
#include "testsupport/temp_dir.h"

namespace cli_test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs kerbolt-cli with `args` and no terminal on its standard input; its output is caught in
// out.txt and err.txt in `dir`.
inline CliRun RunCli(const std::vector<std::string>& args, const testsupport::TempDir& dir) {
  std::string command = std::string(KERBOLT_BIN_DIR) + "/kerbolt-cli";
  for (const auto& a : args) command += " '" + a + "'";
  command += " </dev/null >" + dir.Path() + "out.txt 2>" + dir.Path() + "err.txt";
  CliRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = testsupport::ReadText(dir.Path() + "out.txt");
  r.err = testsupport::ReadText(dir.Path() + "err.txt");
  return r;
}

}  // namespace cli_test
