#include "cli/password_option.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "direct/table_files.h"
#include "io/engine_error.h"

namespace cli {

namespace {

[[noreturn]] void Refuse(const std::string& message) {
  throw engine::EDBEngineError(engine::kErrPasswordProtected, message);
}

std::string WithoutLineEnd(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ReadPasswordFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) Refuse("Die Kennwortdatei „" + file + "“ kann nicht gelesen werden.");
  std::string line;
  std::getline(in, line);
  return WithoutLineEnd(line);
}

// Asks on the terminal with echo off; the echo is switched back on whatever happens.
std::string PromptPassword(const std::string& path) {
  std::cerr << "Kennwort für Tabelle „" << path << "“: " << std::flush;
  termios old{};
  const bool terminal = tcgetattr(STDIN_FILENO, &old) == 0;
  if (terminal) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &old);
  std::cerr << '\n';
  return WithoutLineEnd(line);
}

std::string Password(const std::string& path, const std::string& passwordFile) {
  if (!passwordFile.empty()) return ReadPasswordFile(passwordFile);
  if (isatty(STDIN_FILENO)) return PromptPassword(path);
  Refuse("Die Tabelle „" + path + "“ ist durch ein Kennwort geschützt; bitte --password-file DATEI angeben.");
}

}  // namespace

bool TakePasswordFile(std::vector<std::string>* args, std::string* file, std::string* error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string& a = (*args)[i];
    if (a == "--password" || a.rfind("--password=", 0) == 0) {
      *error = "Ein Kennwort wird nicht auf der Befehlszeile angenommen; bitte --password-file DATEI angeben.";
      return false;
    }
    if (a != "--password-file") {
      rest.push_back(a);
      continue;
    }
    if (i + 1 >= args->size() || (*args)[i + 1].empty()) {
      *error = "Die Option --password-file braucht eine Datei.";
      return false;
    }
    if (!file->empty()) {
      *error = "Die Option --password-file ist doppelt angegeben.";
      return false;
    }
    *file = (*args)[++i];
  }
  *args = std::move(rest);
  return true;
}

bool ReadTableArgs(const std::vector<std::string>& args, const char* usage, std::string* table,
                   std::string* passwordFile) {
  std::vector<std::string> rest = args;
  std::string error;
  if (TakePasswordFile(&rest, passwordFile, &error) && rest.size() == 1) {
    *table = rest[0];
    return true;
  }
  if (!error.empty()) std::cerr << error << '\n';
  std::cerr << usage;
  return false;
}

std::unique_ptr<engine::FileSystem> PasswordFiles(const std::string& path, const std::string& passwordFile,
                                                  bool protect) {
  engine::FileSystem& fs = engine::DefaultFileSystem();
  const bool locked = engine::IsTableProtected(fs, path);
  if (!locked && !(protect && !passwordFile.empty())) return nullptr;
  const std::string password = Password(path, passwordFile);
  return locked ? engine::UnlockedTableFiles(fs, path, password) : engine::ProtectingTableFiles(fs, path, password);
}

}  // namespace cli
