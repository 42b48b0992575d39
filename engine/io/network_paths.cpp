#include "io/network_paths.h"

#include <sstream>
#include <vector>

#include "io/names.h"

namespace engine {

namespace {

// The parts of a path between its separators ("/" or "\"), empty ones left out.
std::vector<std::string> PartsOf(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + "/") {
    if (c != '/' && c != '\\') {
      part.push_back(c);
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  return parts;
}

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// A field of the mount table with its octal escapes ("\040" for a blank) undone.
std::string Unescaped(const std::string& field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
        IsOctalDigit(field[i + 3])) {
      text.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      text.push_back(field[i]);
    }
  }
  return text;
}

}  // namespace

bool IsNetworkPath(const std::string& path) {
  return path.size() > 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

std::string LocalPathOfNetworkPath(const std::string& uncPath, const std::string& mountTable) {
  if (!IsNetworkPath(uncPath)) return "";
  const std::vector<std::string> wanted = PartsOf(uncPath);
  std::istringstream lines(mountTable);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string source, mountPoint;
    if (!(fields >> source >> mountPoint)) continue;
    source = Unescaped(source);
    if (!IsNetworkPath(source)) continue;
    const std::vector<std::string> shared = PartsOf(source);
    if (shared.size() < 2 || shared.size() > wanted.size()) continue;
    bool holds = true;
    for (size_t i = 0; i < shared.size(); ++i) holds = holds && EqualsIgnoringCase(shared[i], wanted[i]);
    if (!holds) continue;
    std::string local = Unescaped(mountPoint);
    for (size_t i = shared.size(); i < wanted.size(); ++i) local = WithSlash(local) + wanted[i];
    return WithSlash(local);
  }
  return "";
}

}  // namespace engine
