#pragma once
// The session's passwords (AddPassword / DropPassword) put to use.

#include <memory>
#include <string>

#include "io/file_system.h"

namespace engine {

// For the table at `path`: nullptr when it is not protected; a view of `fs` unlocked with the
// session password that is its password otherwise. Raises EDBEngineError(kErrPasswordProtected)
// naming the table when no session password is.
std::unique_ptr<FileSystem> UnlockWithSessionPasswords(FileSystem& fs, const std::string& path);

}  // namespace engine
