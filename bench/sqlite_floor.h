#pragma once
// What SQLite itself costs to make a file like an export: the rows of a finished export copied
// into a new database by SQLite alone (same table definition, same pragmas, one transaction),
// then its indexes made. No table is read or converted; this is the least an export can take.

#include <string>

namespace bench {

// Copies every table of the SQLite file `from` with its indexes into a new file `to` (replaced
// when it exists); returns the seconds taken. Throws std::runtime_error on failure.
double SqliteCopySeconds(const std::string& from, const std::string& to);

}  // namespace bench
