#include "testsupport/table_dump_text.h"

#include <sstream>

#include "family/table_dump.h"

namespace testsupport {

std::string TableDumpText(const std::string& path, engine::FileSystem& fs) {
  std::ostringstream out;
  engine::DumpTable(fs, path, out);
  return out.str();
}

}  // namespace testsupport
