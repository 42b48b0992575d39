#pragma once
// Telling the user what a dump or description could not read: one "Warnung:" line on stderr per
// cause, and the exit status that says whether every value was read.

#include <iostream>

#include "direct/table_files.h"

namespace cli {

// Exit status of a table that was read, but with values that could not be read.
constexpr int kExitUnreadableValues = 3;

// Writes the unreadable parts of `findings` to stderr; returns 0 when there are none,
// kExitUnreadableValues otherwise.
inline int ReportUnreadable(const engine::ReadFindings& findings) {
  for (const auto& cause : findings.unreadable) std::cerr << "Warnung: " << cause << '\n';
  return findings.unreadable.empty() ? 0 : kExitUnreadableValues;
}

}  // namespace cli
