#pragma once
// The directory scan: every Paradox table of one directory with its properties and capacity
// figures. Used by the block-size window and by `kerbolt-cli scan`.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "blocksize/core/bde_util.h"
#include "blocksize/core/table_capacity.h"
#include "component/table.h"

namespace blocksize {

// A directory that can't be listed; the message is German and names the directory.
class ScanError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The regular files of `directory` whose name ends in ".db" in any letter case (hidden and
// read-only files included, directories not), sorted by their bytes, once the engine has
// settled the tables that a killed process left half restructured or copied (so that none is
// missing or half swapped). Raises ScanError.
std::vector<std::string> listParadoxTables(const std::string& directory);

// The four figures read from a table file's header.
struct TableProps {
  int32_t Fields = 0;
  int32_t RecordSize = 0;  // bytes
  int32_t Level = 0;
  int32_t BlockBytes = 0;  // block size in bytes
};

struct TableScanRow {
  std::string FileName;             // as listed, extension included
  std::optional<TableProps> Props;  // nullopt: the properties could not be read
  TableCapacity Capacity;           // all 0 when Props is unknown
  // nullopt: the table could not be opened or counted; a password-protected table's count is
  // its header's.
  std::optional<int32_t> UsedRecords;
  int64_t FreeRecords = 0;             // Total − used, 0 used records taken for an error
  std::optional<double> PercentFull;   // nullopt when Total is 0
};

// Reads the properties through `util` (none are read when it is null) and counts the records by
// opening `table` shared; the table is closed again in every case. `directory` ends in "/".
// Never raises.
TableScanRow scanTable(TBDEUtil* util, engine::TTable& table, const std::string& directory,
                       const std::string& fileName);

// The eleven cells of a row, in column order: name, fields, record size, RpB, FreeX, level,
// block size, total, used, free, per cent full. `number(value, decimals)` formats every number
// cell except the level, which is plain digits. Cells whose figure is unknown are empty; the
// used-records cell of a table that could not be counted reads "error".
using NumberFormat = std::function<std::string(double value, int decimals)>;
constexpr int kColumnCount = 11;
std::array<std::string, kColumnCount> scanRowCells(const TableScanRow& row,
                                                   const NumberFormat& number);

// Column captions of the list, in column order.
extern const std::array<const char*, kColumnCount> kColumnCaptions;

}  // namespace blocksize
