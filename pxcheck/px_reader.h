#pragma once
// Reading a table with Debian's pxlib, the independent reader of the checks. Blob fields are
// not read (pxlib 0.6.8 aborts on opening a .MB file): their cells are left as "?", and
// CompareDumps skips their columns.

#include <string>
#include <vector>

#include "pxcheck/dump_text.h"

namespace pxcheck {

struct PxReading {
  bool opened = false;
  Dump dump;
  std::vector<std::string> messages;  // pxlib's errors and warnings, in order
};

// Reads the table at dbPath in the normalized dump format. With pxPath given, pxlib reads that
// primary index and uses it to find the records.
PxReading ReadWithPxlib(const std::string& dbPath, const std::string& pxPath = "");

}  // namespace pxcheck
