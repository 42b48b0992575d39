#pragma once
// The password of a protected table: from the first line of a file given with
// --password-file, or typed at a prompt without echo when the standard input is a terminal.
// A password on the command line itself is refused (others could read it in the process list).

#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"

namespace cli {

// Takes "--password-file FILE" out of `args` into *file. False with the German reason in
// *error when the option lacks its file, is given twice, or a password is given directly.
bool TakePasswordFile(std::vector<std::string>* args, std::string* file, std::string* error);

// Reads the arguments of a command on one table: the table and an optional password file.
// False after printing the German reason (if any) and `usage` on stderr.
bool ReadTableArgs(const std::vector<std::string>& args, const char* usage, std::string* table,
                   std::string* passwordFile);

// The file system through which the table at `path` is read and written: nullptr (the
// operating system's as it is) for a table without password; for a protected one, a view
// unlocked with the password. With `protect` (a copy), also a plain table's copies are
// protected by the password, which must then be given. Raises EDBEngineError with a German
// message when the password is missing, cannot be read or is wrong.
std::unique_ptr<engine::FileSystem> PasswordFiles(const std::string& path, const std::string& passwordFile,
                                                  bool protect);

}  // namespace cli
