#pragma once
// The normalized dump format shared by the expected fixture dumps, kerbolt-cli dump and the
// pxlib reading: one line of field names, one of type tokens, one per record; TAB between
// columns. These helpers format single values the way that format prescribes and compare two
// dumps cell by cell.

#include <cstdint>
#include <string>
#include <vector>

namespace pxcheck {

struct Dump {
  std::vector<std::string> names;
  std::vector<std::string> types;
  std::vector<std::vector<std::string>> rows;
};

// Splits dump text into its lines and cells (the cells stay escaped).
Dump ParseDump(const std::string& text);

// Whether a type token names a blob column (M, F, B, O, G), whose cells are not compared.
bool IsBlobToken(const std::string& token);

// Differences of two dumps, each naming the line and the column; blob columns are skipped.
// At most `limit` differences are listed.
std::vector<std::string> CompareDumps(const Dump& ours, const Dump& theirs, size_t limit = 20);

// The iconv name of a table's code page: level-3 tables (level3 = true) are always code page
// 437; unknown code pages read as 437.
std::string CharsetOf(int codePage, bool level3);

// Text of a table in its code page, as UTF-8, with "\", TAB, LF and CR escaped. Level-3 tables
// (level3 = true) are always code page 437; unknown code pages read as 437.
std::string DecodeText(const std::string& bytes, int codePage, bool level3);

// Day number 1 = 0001-01-01, proleptic Gregorian: "YYYY-MM-DD".
std::string FormatDate(int64_t day);
// Milliseconds since midnight: "HH:MM:SS.mmm", hours not reduced modulo 24.
std::string FormatTime(int64_t ms);
// Milliseconds, rounded to whole ones: the day floor(ms / 86 400 000) numbered as for dates,
// then the rest as a time: "YYYY-MM-DD HH:MM:SS.mmm".
std::string FormatTimestamp(double ms);
// printf("%.17g") in the C locale.
std::string FormatDouble(double v);
// A decimal text of any style ("+0012.5", "-.25") as "[-]int.decimals" with exactly
// `decimals` places; "?" when the text holds anything but a sign, digits and one point.
std::string NormalizeDecimal(const std::string& text, int decimals);
std::string HexBytes(const std::string& bytes);

}  // namespace pxcheck
