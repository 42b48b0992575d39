#include "io/names.h"

#include "io/engine_error.h"
#include "io/file_system.h"

namespace engine {

std::string Quoted(const std::string& text) { return "\xE2\x80\x9E" + text + "\xE2\x80\x9C"; }

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string BaseNameOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string WithSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

std::string ListableDir(const std::string& dir) { return dir.empty() ? "." : dir; }

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::string FindFileIgnoringCase(FileSystem& fs, const std::string& dir, const std::string& name) {
  if (fs.Exists(dir + name)) return name;
  try {
    for (const auto& candidate : fs.List(ListableDir(dir)))
      if (EqualsIgnoringCase(candidate, name)) return candidate;
  } catch (const EDBEngineError&) {
    // An unreadable directory leaves the name as given; opening it reports the failure.
  }
  return name;
}

}  // namespace engine
