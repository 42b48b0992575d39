#pragma once
// Runs a program as a whole process and measures it: wall-clock time and peak resident memory.

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
  double seconds = 0;
  uint64_t peakBytes = 0;  // the child's peak resident set size
};

// Runs `argv` (argv[0] is the program's path) with standard output sent to `outputPath` and
// standard error to `errorPath`. Throws std::runtime_error naming the program and quoting its
// error output when it cannot start or does not exit with status 0.
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& outputPath,
                  const std::string& errorPath);

// The kerbolt-cli next to the running program (or in the build tree's cli/), "" when none exists.
std::string FindCli();

}  // namespace bench
