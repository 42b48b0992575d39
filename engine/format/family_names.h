#pragma once
// Names of the files of a table family: the data file KUNDEN.DB, its primary index KUNDEN.PX,
// blob file KUNDEN.MB, secondary indexes KUNDEN.X02 / KUNDEN.XG0 and their trees KUNDEN.Y02 /
// KUNDEN.YG0.

#include <string>

namespace engine {

// Companion file name of a table: `dbName` with its extension replaced ("kunden.db" gives
// "kunden.px"; the case of the letters follows the .DB extension's).
std::string CompanionName(const std::string& dbName, const std::string& extension);

// Extension of the tree file of a secondary index file's extension ("X02" gives "Y02").
std::string TreeExtension(const std::string& xExtension);

// Name of the tree file of a secondary index file ("KUNDEN.XG0" gives "KUNDEN.YG0", "kunden.x02"
// gives "kunden.y02").
std::string TreeFileName(const std::string& xName);

}  // namespace engine
