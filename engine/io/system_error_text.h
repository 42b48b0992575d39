#pragma once
// German wording of the operating system's error numbers (errno) for the engine's messages: the
// C library's own texts follow the process's locale and are English in most installations.

#include <string>

namespace engine {

// The cause named by `err` in German, e.g. "Zugriff verweigert"; unknown numbers as
// "Systemfehler Nr. N".
std::string SystemErrorText(int err);

}  // namespace engine
