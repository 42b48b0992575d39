#pragma once
// What a database handle (hDBIDb) of the direct calls stands for: the directory in which a
// table lies. GetCursorDatabase hands out one handle per directory, valid for the life of the
// process; RestructureTable resolves it back to the directory.

#include <string>

#include "direct/direct_calls.h"

namespace engine {

struct DatabaseHandle {
  std::string directory;  // ends in "/"
};

// The handle of a directory, created on first use.
DatabaseHandle* DatabaseHandleFor(const std::string& directory);
// The handle behind `db`, or nullptr when `db` was not handed out by GetCursorDatabase.
const DatabaseHandle* FindDatabaseHandle(hDBIDb db);

}  // namespace engine
