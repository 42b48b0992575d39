#include "family/temporary_names.h"

#include <cctype>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "io/writer_tag.h"

namespace engine {

namespace {

// A tag as WriterTag makes it: "-", digits, "-", digits.
bool IsTag(const std::string& tag) {
  if (tag.empty()) return true;
  int dashes = 0;
  bool digitSeen = false;
  for (char c : tag) {
    if (c == '-') {
      if (dashes > 0 && !digitSeen) return false;
      ++dashes;
      digitSeen = false;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      digitSeen = true;
    } else {
      return false;
    }
  }
  return dashes == 2 && digitSeen && tag[0] == '-';
}

}  // namespace

bool ParseTemporaryName(const std::string& name, TemporaryName* out) {
  for (const char* kind : {kNewSuffix, kOldSuffix, kListSuffix, kJournalSuffix, kWorkSuffix}) {
    const std::string suffix(kind);
    const size_t at = name.rfind(suffix);
    if (at == std::string::npos || at == 0) continue;
    const std::string tag = name.substr(at + suffix.size());
    if (!IsTag(tag) || (suffix == kWorkSuffix && !tag.empty())) continue;
    *out = {name.substr(0, at), suffix, tag};
    return true;
  }
  return false;
}

std::string NewFilesSuffix() { return kNewSuffix + WriterTag(); }

std::string WorkMarkName(const std::string& dbName) { return UpperAscii(BaseNameOf(dbName)) + kWorkSuffix; }

void MarkWork(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  const std::string path = dir + WorkMarkName(dbName);
  if (!fs.Exists(path)) fs.Open(path, OpenMode::CreateTruncate);
}

void UnmarkWorkIfSettled(FileSystem& fs, const std::string& dir, const std::string& dbName) {
  try {
    const std::string base = UpperAscii(BaseNameOf(dbName));
    for (const std::string& name : fs.List(ListableDir(dir))) {
      TemporaryName t;
      if (ParseTemporaryName(name, &t) && t.kind != kWorkSuffix && UpperAscii(BaseNameOf(t.plain)) == base) return;
    }
    const std::string path = dir + WorkMarkName(dbName);
    if (fs.Exists(path)) fs.Remove(path);
  } catch (const EDBEngineError&) {
    // Left for the next recovery.
  }
}

void RemoveQuietly(FileSystem& fs, const std::string& path) {
  try {
    if (fs.Exists(path)) fs.Remove(path);
  } catch (const EDBEngineError&) {
    // Left for the next recovery.
  }
}

}  // namespace engine
