#pragma once
// Putting a finished output file in place of its target: the file's bytes reach the disk before
// the rename, and the rename before success is told, so that a crash never leaves the target's
// name on a file cut short.

#include <string>

namespace cli {

// Replaces `file` by the complete file `temp` (same directory). False when it cannot, with
// `temp` removed.
bool ReplaceDurably(const std::string& temp, const std::string& file);

}  // namespace cli
