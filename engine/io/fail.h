#pragma once
// Raising engine errors from inside the engine: the message names the file and the cause, in
// German, e.g. "Datei „/daten/KUNDEN.DB“: Die Blockkette enthält eine Schleife (Block 7)."

#include <cstdint>
#include <string>

namespace engine {

[[noreturn]] void Fail(uint16_t code, const std::string& path, const std::string& cause);
// Raises without a file name (parameters, states).
[[noreturn]] void FailPlain(uint16_t code, const std::string& message);
// Makes `message` the text that Check() gives for `code` on this thread, as a raised failure
// does, without raising. An empty message leaves Check() the engine's general text.
void RecordFailure(uint16_t code, const std::string& message);

}  // namespace engine
