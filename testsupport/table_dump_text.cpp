#include "testsupport/table_dump_text.h"

#include <sstream>

#include "direct/table_files.h"

namespace testsupport {

std::string TableDumpText(const std::string& path, engine::FileSystem& fs) {
  std::ostringstream out;
  engine::DumpTable(fs, path, out);
  return out.str();
}

}  // namespace testsupport
