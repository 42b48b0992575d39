#pragma once
// How a fuzz input becomes a table: the bytes of its .DB, then any number of sections, each a
// NUL, "KERBOLT:", a companion extension of one to three letters or digits ("MB", "PX", "X02",
// ...; "OPS" for the editing steps of the writing target) and a NUL, followed by that file's
// bytes up to the next section. The fuzz script builds such seeds from the sample tables.

#include <cstddef>
#include <cstdint>
#include <string>

#include "component/table.h"
#include "testsupport/memory_file_system.h"

namespace fuzz {

// Folder and file name under which the table is put into the file system in memory.
inline const std::string kDir = "/fuzz/";
inline const std::string kTable = "FUZZ.DB";

// Puts the table file and its companions of `data` into `fs` under kDir; returns the bytes of
// the "OPS" section (empty when there is none).
std::string PutTable(testsupport::MemoryFileSystem& fs, const uint8_t* data, size_t size);

// Opens the table put into `fs`; false when the engine refuses it.
bool OpenTable(engine::TTable& table, testsupport::MemoryFileSystem& fs);

}  // namespace fuzz
