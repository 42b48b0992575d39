#pragma once
// From a typed password to the key of a password-protected table, and the file system through
// which a protected table reads and writes in clear.

#include <cstdint>
#include <memory>
#include <string>

#include "format/table_header.h"
#include "io/file_system.h"

namespace engine {

// The key that `password` (UTF-8) gives for a table with header `h`: the password is taken in
// the table's code page. 0 when it is empty or cannot be written in that code page.
uint32_t PasswordKey(const TableHeader& h, const std::string& password);

// For the protected table at `path` with header `h`: a view of `base` that reads and writes its
// files in clear. Raises EDBEngineError(kErrPasswordProtected) naming the table when `password`
// is not its password. nullptr when the table is not protected or `base` already reads it with
// its key.
std::unique_ptr<FileSystem> UnlockTableFiles(FileSystem& base, const TableHeader& h, const std::string& path,
                                             const std::string& password);

// The same for the table at `path` whose header is read from `base`; nullptr also when the
// header cannot be read (the reader of the table then names that fault).
std::unique_ptr<FileSystem> UnlockTableFiles(FileSystem& base, const std::string& path, const std::string& password);

}  // namespace engine
