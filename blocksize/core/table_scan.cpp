#include "blocksize/core/table_scan.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "direct/table_files.h"
#include "io/engine_error.h"
#include "io/file_system.h"

namespace blocksize {

namespace fs = std::filesystem;

const std::array<const char*, kColumnCount> kColumnCaptions = {
    "Name",       "Fields",     "Record Size", "RpB",       "FreeX", "Level",
    "Block Size", "Total Recs", "Used Recs",   "Free Recs", "% Full",
};

namespace {

bool hasTableExtension(const std::string& name) {
  if (name.size() < 3) return false;
  const std::string ext = name.substr(name.size() - 3);
  return ext[0] == '.' && (ext[1] == 'd' || ext[1] == 'D') && (ext[2] == 'b' || ext[2] == 'B');
}

std::string germanReason(const std::error_code& ec) {
  if (ec == std::errc::no_such_file_or_directory) return "Es existiert nicht.";
  if (ec == std::errc::not_a_directory) return "Es ist kein Verzeichnis.";
  if (ec == std::errc::permission_denied) return "Der Zugriff wurde verweigert.";
  return "Systemfehler " + std::to_string(ec.value()) + " (" + ec.message() + ").";
}

// The record count in a protected table's header, which needs no password.
std::optional<int32_t> headerRecordCount(const std::string& path) {
  try {
    return static_cast<int32_t>(engine::HeaderRecordCount(engine::DefaultFileSystem(), path));
  } catch (const engine::EDBEngineError&) {
    return std::nullopt;
  }
}

std::string cannotRead(const std::string& directory, const std::error_code& ec) {
  return "Das Verzeichnis \"" + directory + "\" kann nicht gelesen werden. " + germanReason(ec);
}

}  // namespace

std::vector<std::string> listParadoxTables(const std::string& directory) {
  try {
    engine::SettleTablesInDirectory(engine::DefaultFileSystem(), directory);
  } catch (const engine::EDBEngineError&) {
    // A directory that cannot be listed is reported below in the scan's own words.
  }
  std::error_code ec;
  fs::directory_iterator it(fs::path(directory), ec);
  if (ec) throw ScanError(cannotRead(directory, ec));
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (hasTableExtension(name) && it->is_regular_file(typeError)) names.push_back(name);
  }
  if (ec) throw ScanError(cannotRead(directory, ec));
  std::sort(names.begin(), names.end());
  return names;
}

TableScanRow scanTable(TBDEUtil* util, engine::TTable& table, const std::string& directory,
                       const std::string& fileName) {
  TableScanRow row;
  row.FileName = fileName;
  if (util && util->ReadTableProps(directory + fileName)) {
    TableProps props;
    props.Fields = util->fieldCount();
    props.RecordSize = util->recordSize();
    props.Level = util->level();
    props.BlockBytes = static_cast<int32_t>(util->blockSizeKiB()) * 1024;
    row.Capacity = computeCapacity(props.RecordSize, props.BlockBytes);
    row.Props = props;
  }
  try {
    table.Close();
    table.SetExclusive(false);
    table.SetDatabaseName(directory);
    table.SetTableName(fileName);
    table.Open();
    row.UsedRecords = table.RecordCount();
  } catch (const engine::EDBEngineError& failure) {
    row.UsedRecords = failure.ErrorCode() == engine::kErrPasswordProtected ? headerRecordCount(directory + fileName)
                                                                         : std::nullopt;
  } catch (const std::exception&) {
    row.UsedRecords.reset();
  }
  try {
    table.Close();
  } catch (const std::exception&) {
    // A table that failed to open has nothing left to close.
  }
  const int64_t used = row.UsedRecords.value_or(0);
  row.FreeRecords = row.Capacity.Total - used;
  row.PercentFull = percentFull(used, row.Capacity.Total);
  return row;
}

std::array<std::string, kColumnCount> scanRowCells(const TableScanRow& row,
                                                   const NumberFormat& number) {
  std::array<std::string, kColumnCount> cells;
  cells[0] = row.FileName;
  if (row.Props) {
    cells[1] = number(row.Props->Fields, 0);
    cells[2] = number(row.Props->RecordSize, 0);
    cells[3] = number(row.Capacity.RpB, 0);
    cells[4] = number(row.Capacity.FreeX, 0);
    cells[5] = std::to_string(row.Props->Level);
    cells[6] = number(row.Props->BlockBytes, 0);
  }
  cells[7] = number(static_cast<double>(row.Capacity.Total), 0);
  cells[8] = row.UsedRecords ? number(*row.UsedRecords, 0) : "error";
  cells[9] = number(static_cast<double>(row.FreeRecords), 0);
  if (row.PercentFull) cells[10] = number(*row.PercentFull, 1);
  return cells;
}

}  // namespace blocksize
