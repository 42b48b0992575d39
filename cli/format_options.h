#pragma once
// The options of copy and restructure: --level, --block-size and --ignore-foreign-locks.

#include <string>
#include <vector>

#include "format/table_format.h"

namespace cli {

// Reads "--level L" or "--block-size N" at args[*i] (advancing *i past the value). Returns
// false when args[*i] is neither or its value is missing or not a whole number; *error then
// holds the German reason.
template <typename ArgList>
bool ReadFormatOption(const ArgList& args, size_t* i, engine::TableFormat* format, std::string* error) {
  const std::string& option = args[*i];
  if (option != "--level" && option != "--block-size") {
    *error = "Unbekannte Option: " + option;
    return false;
  }
  if (*i + 1 >= args.size()) {
    *error = "Die Option " + option + " braucht einen Wert.";
    return false;
  }
  const std::string& value = args[++*i];
  if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos) {
    *error = "Der Wert „" + value + "“ von " + option + " ist keine ganze Zahl.";
    return false;
  }
  (option == "--level" ? format->level : format->blockBytes) = std::stoi(value);
  return true;
}

// Splits the arguments of copy or restructure into table names and options; "--empty" is taken
// only when `empty` is given. False with the German reason in *error on a bad option.
template <typename ArgList>
bool ReadTablesAndFormat(const ArgList& args, std::vector<std::string>* tables, engine::TableFormat* format,
                         bool* empty, bool* ignoreForeignLocks, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (empty && args[i] == "--empty") {
      *empty = true;
    } else if (args[i] == "--ignore-foreign-locks") {
      *ignoreForeignLocks = true;
    } else if (args[i].rfind("--", 0) == 0) {
      if (!ReadFormatOption(args, &i, format, error)) return false;
    } else {
      tables->push_back(args[i]);
    }
  }
  return true;
}

}  // namespace cli
