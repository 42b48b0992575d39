#include "cli/durable_replace.h"

#include <cstdio>

#include "io/engine_error.h"
#include "io/file_system.h"

namespace cli {

bool ReplaceDurably(const std::string& temp, const std::string& file) {
  engine::FileSystem& fs = engine::DefaultFileSystem();
  const size_t slash = file.rfind('/');
  try {
    fs.Open(temp, engine::OpenMode::ReadWrite)->Sync();
    fs.Rename(temp, file);
    fs.SyncDir(slash == std::string::npos ? "." : file.substr(0, slash + 1));
    return true;
  } catch (const engine::EDBEngineError&) {
    std::remove(temp.c_str());
    return false;
  }
}

}  // namespace cli
