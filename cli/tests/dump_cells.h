#pragma once
// An expected dump read back into cells, for comparing exports with it: field names, type tokens
// and the records, every cell unescaped.

#include <string>
#include <vector>

#include "format/record_format.h"

namespace cli_test {

struct DumpTable {
  std::vector<std::string> names;
  std::vector<std::string> types;  // A20, N, $, #2, M10, ...
  std::vector<std::vector<std::string>> rows;
};

inline std::string Unescape(const std::string& cell) {
  std::string out;
  for (size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] != '\\' || i + 1 == cell.size()) {
      out += cell[i];
      continue;
    }
    const char c = cell[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

inline std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells(1);
  for (const char c : line) {
    if (c == '\t')
      cells.emplace_back();
    else
      cells.back() += c;
  }
  return cells;
}

inline DumpTable ParseDump(const std::string& text) {
  DumpTable t;
  size_t start = 0;
  int line = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::string l = text.substr(start, end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    std::vector<std::string> cells = SplitTabs(l);
    for (auto& c : cells) c = Unescape(c);
    if (line == 0)
      t.names = cells;
    else if (line == 1)
      t.types = cells;
    else
      t.rows.push_back(cells);
    ++line;
  }
  return t;
}

// "<length>:<FNV-1a 64>" of bytes, as the dump writes blobs.
inline std::string BlobDigest(const std::string& bytes) {
  return std::to_string(bytes.size()) + ":" + engine::Fnv1a64Hex(bytes);
}

inline bool IsAscii(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A memo exported as UTF-8 against the dump's digest of its stored bytes: equal when the text
// is ASCII (the same bytes in every code page); otherwise at least as long as stored.
inline bool MemoMatches(const std::string& utf8, const std::string& digest) {
  if (IsAscii(utf8)) return BlobDigest(utf8) == digest;
  return std::stoul(digest.substr(0, digest.find(':'))) <= utf8.size();
}

}  // namespace cli_test
