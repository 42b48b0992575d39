#pragma once
// The files of one table: the table file and its companions (.PX, .MB, .Xnn, .Ynn, .VAL, ...),
// which share its base name, in any letter case.

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Every regular file in the table's folder whose base name is the table's, letter case ignored
// (the table file itself included), sorted.
std::vector<std::filesystem::path> TableFamily(const std::filesystem::path& table);

// Copies the table file and its companions into `dir` (ending in "/"), each copy writable by its
// owner; with `stem`, the copies take that base name instead of their own. Returns the path of
// the copied table file. Raises std::runtime_error when the table file does not exist.
std::string CopyTable(const std::filesystem::path& table, const std::string& dir, const std::string& stem = "");

}  // namespace testsupport
