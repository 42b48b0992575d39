// The session's passwords: AddPassword, DropPassword and their use by RestructureTable.

#include "direct/session_passwords.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "direct/direct_call.h"
#include "direct/direct_calls.h"
#include "format/table_header.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "storage/header_reader.h"
#include "storage/table_key.h"

namespace engine {

namespace {

std::mutex passwordsMutex;

std::vector<std::string>& Passwords() {
  static std::vector<std::string> passwords;
  return passwords;
}

}  // namespace

uint16_t AddPassword(const char* password) {
  return DirectCall("AddPassword", [&] {
    if (!password || !*password) FailPlain(kErrInvalidParam, "AddPassword: kein Kennwort angegeben.");
    std::lock_guard<std::mutex> guard(passwordsMutex);
    Passwords().push_back(password);
  });
}

uint16_t DropPassword(const char* password) {
  return DirectCall("DropPassword", [&] {
    if (!password) FailPlain(kErrInvalidParam, "DropPassword: kein Kennwort angegeben.");
    std::lock_guard<std::mutex> guard(passwordsMutex);
    auto& passwords = Passwords();
    const auto it = std::find(passwords.begin(), passwords.end(), std::string(password));
    if (it == passwords.end()) FailPlain(kErrNotFound, "DropPassword: Das Kennwort ist nicht in der Sitzung.");
    passwords.erase(it);
  });
}

std::unique_ptr<FileSystem> UnlockWithSessionPasswords(FileSystem& fs, const std::string& path) {
  const TableHeader h = ReadTableFigures(fs, path);
  if (!h.Encrypted()) return nullptr;
  std::vector<std::string> passwords;
  {
    std::lock_guard<std::mutex> guard(passwordsMutex);
    passwords = Passwords();
  }
  for (const auto& password : passwords)
    if (PasswordKey(h, password) == h.StoredKey()) return UnlockTableFiles(fs, h, path, password);
  return UnlockTableFiles(fs, h, path, std::string());
}

}  // namespace engine
