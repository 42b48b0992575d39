#pragma once
// Mending a damaged table: its files are written anew from the records that can be read, with
// the primary and every secondary index built fresh, after the original files were kept as a
// backup beside the table.

#include <cstdint>
#include <string>
#include <vector>

#include "io/progress.h"

namespace engine {

class FileSystem;

struct RebuildReport {
  std::string backupDir;                  // folder holding the original files, ending in "/"
  uint64_t records = 0;                   // records of the rebuilt table
  std::vector<std::string> relinked;      // blocks taken back into the chain
  std::vector<std::string> dropped;       // records left out (cut off, key again), with the reason
  std::vector<std::string> blobsCleared;  // blob values set to null, with the reason
  std::vector<std::string> unreadable;    // values that cannot be read, kept as stored
};

// Rebuilds the table at `path` in place, keeping its level, block size, fields, key, indexes,
// language driver and auto-increment counter. First copies every file of the table (companions
// included) into NAME.bak/ beside it (NAME.bak-2/, … when that exists), then writes the new
// family and swaps it in as one step (a failure leaves the table as it was). Raises
// EDBEngineError with a German message when the table is missing, open or locked elsewhere,
// used by another program (RefuseForeignUse), password-protected, write-protected, or its header cannot be read.
RebuildReport RebuildTable(FileSystem& fs, const std::string& path, const ProgressFn& progress = {});

}  // namespace engine
