#pragma once
// Whole files read and written at once, for setting up and checking.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
// Replaces the file's content (creating it when missing).
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace testsupport
