#pragma once
// A table's dump (engine::DumpTable) as one text, for comparing whole tables.

#include <string>

#include "io/file_system.h"

namespace testsupport {

// Raises EDBEngineError like DumpTable when the table cannot be read.
std::string TableDumpText(const std::string& path, engine::FileSystem& fs = engine::DefaultFileSystem());

}  // namespace testsupport
