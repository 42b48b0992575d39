#pragma once
// A problem that a check of a table found: the file it lies in, the place in that file (block,
// record, offset; empty for the file as a whole) and what is wrong, in German.

#include <string>

namespace engine {

struct TableProblem {
  std::string file;   // path of the file
  std::string place;  // e.g. "Block 7", "Datensatz 12"; empty for the whole file
  std::string text;   // German sentence
};

}  // namespace engine
