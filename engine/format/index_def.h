#pragma once
// An index as the table component describes it: a name, the fields it orders by (names
// separated by ";"), which of them descend, and its options. Shared by the component's
// IndexDefs and everything that creates tables from them.

#include <string>

namespace engine {

// Options of an index definition.
enum TIndexOption : unsigned {
  ixPrimary = 1, ixUnique = 2, ixDescending = 4, ixCaseInsensitive = 8,
};

struct TIndexDef {
  std::string Name;        // empty for the primary index
  std::string Fields;      // field names separated by ";"
  std::string DescFields;  // descending fields separated by ";", empty when none
  unsigned Options = 0;    // TIndexOption bits
};

}  // namespace engine
