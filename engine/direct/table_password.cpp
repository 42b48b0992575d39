// Password-protected tables for the whole-table commands: telling them, and the file systems
// through which they are read and written.

#include "direct/table_files.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/cipher_file_system.h"
#include "storage/header_reader.h"
#include "storage/table_key.h"

namespace engine {

namespace {

// The header of the table at `path`, its file name matched ignoring case as the commands do.
TableHeader FiguresOf(FileSystem& fs, const std::string& path) {
  const std::string name = FileNameOf(path);
  const std::string dir = path.substr(0, path.size() - name.size());
  return ReadTableFigures(fs, dir + FindFileIgnoringCase(fs, dir, name));
}

}  // namespace

bool IsTableProtected(FileSystem& fs, const std::string& path) { return FiguresOf(fs, path).Encrypted(); }

uint32_t HeaderRecordCount(FileSystem& fs, const std::string& path) { return FiguresOf(fs, path).numRecords; }

std::unique_ptr<FileSystem> UnlockedTableFiles(FileSystem& fs, const std::string& path, const std::string& password) {
  return UnlockTableFiles(fs, FiguresOf(fs, path), path, password);
}

std::unique_ptr<FileSystem> ProtectingTableFiles(FileSystem& fs, const std::string& path, const std::string& password) {
  const TableHeader h = FiguresOf(fs, path);
  if (h.Encrypted()) return UnlockTableFiles(fs, h, path, password);
  const uint32_t key = PasswordKey(h, password);
  if (key == 0)
    Fail(kErrInvalidParam, path, "Das Kennwort ist leer oder lässt sich in der Codepage der Tabelle nicht schreiben.");
  return std::make_unique<CipherFileSystem>(fs, key);
}

}  // namespace engine
