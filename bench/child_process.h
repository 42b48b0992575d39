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

// The first argument with which this program runs as the go-between of RunChild.
inline constexpr char kPeakChildOption[] = "--peak-child";

// This program as RunChild's go-between (argv: program, kPeakChildOption, the file for the peak,
// the measured program and its arguments): runs the measured program as its child, writes the
// child's peak resident memory in KiB to the file and returns the child's exit status.
int RunPeakChild(int argc, char** argv);

// The kerbolt-cli next to the running program (or in the build tree's cli/), "" when none exists.
std::string FindCli();

}  // namespace bench
