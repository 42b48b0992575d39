#pragma once
// Creating folders on the operating system's file system.

#include <string>

namespace engine {

// Creates the folder `path`; false when something of that name exists already. Raises
// EDBEngineError (kErrIo) naming the folder on any other failure.
bool MakeDirectory(const std::string& path);

}  // namespace engine
