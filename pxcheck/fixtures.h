#pragma once
// The sample tables the checks compare with their expected dumps, and the companion files of a
// table that the checks read.

#include <filesystem>
#include <string>
#include <vector>

#include "pxcheck/dump_text.h"

namespace pxcheck {

// Sample tables the expected dumps cover completely, without the known doubts where the expected
// dump deliberately differs from pxlib's reading (the dump corrected by hand; the
// password-protected tables, which pxlib decrypts).
std::vector<std::filesystem::path> ComparableFixtures();
// The expected dump of a sample table, parsed.
Dump ExpectedDumpOf(const std::filesystem::path& sample);

// The companion file of `table` with extension `ext` (".PX"), in any letter case; empty when absent.
std::filesystem::path Companion(const std::filesystem::path& table, const std::string& ext);

// The secondary index data files (.Xnn, .XGn in any letter case) of `table`, sorted.
std::vector<std::filesystem::path> SecondaryIndexFiles(const std::filesystem::path& table);

}  // namespace pxcheck
