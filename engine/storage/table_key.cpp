#include "storage/table_key.h"

#include "format/code_page.h"
#include "format/table_cipher.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "storage/cipher_file_system.h"
#include "storage/header_reader.h"

namespace engine {

uint32_t PasswordKey(const TableHeader& h, const std::string& password) {
  std::string bytes;
  if (!CodePage::ForHeader(h).FromUtf8(password, &bytes)) return 0;
  return KeyOfPassword(bytes);
}

std::unique_ptr<FileSystem> UnlockTableFiles(FileSystem& base, const TableHeader& h, const std::string& path,
                                             const std::string& password) {
  if (!h.Encrypted() || base.CipherKey() == h.StoredKey()) return nullptr;
  if (password.empty())
    Fail(kErrPasswordProtected, path, "Die Tabelle ist durch ein Kennwort geschützt; es wurde kein Kennwort angegeben.");
  const uint32_t key = PasswordKey(h, password);
  if (key == 0 || key != h.StoredKey())
    Fail(kErrPasswordProtected, path, "Das Kennwort für die Tabelle ist falsch.");
  return std::make_unique<CipherFileSystem>(base, key);
}

std::unique_ptr<FileSystem> UnlockTableFiles(FileSystem& base, const std::string& path, const std::string& password) {
  TableHeader h;
  try {
    h = ReadFileHeader(base, path);
  } catch (const EDBEngineError&) {
    return nullptr;
  }
  return UnlockTableFiles(base, h, path, password);
}

}  // namespace engine
