#include "io/directories.h"

#include <sys/stat.h>

#include <cerrno>

#include "io/engine_error.h"
#include "io/fail.h"
#include "io/system_error_text.h"

namespace engine {

bool MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno == EEXIST) return false;
  Fail(kErrIo, path, "Der Ordner kann nicht angelegt werden: " + SystemErrorText(errno));
}

}  // namespace engine
