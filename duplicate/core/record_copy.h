#pragma once
// The duplication's work on the engine alone: creating the duplicate from the source's
// definitions and copying the source's records into it, keeping the values of a leading
// auto-increment field. Shared by the progress dialog and the benchmark.

#include <cstdint>
#include <functional>
#include <string>

namespace engine {
class FileSystem;
class TTable;
}  // namespace engine

namespace duplicate {

// Creates the table `dir` + `name` with the field definitions (required flags included) and
// index definitions of the open table `source`, at the engine's defaults for a new table
// (level and block size), replacing an existing table of that name with all its companion
// files. Refused before anything is written: the source table itself under any spelling of its
// path, and a table that is open in this program or held by another process.
void CreateDuplicate(engine::FileSystem& fs, engine::TTable& source, const std::string& dir,
                     const std::string& name);

// What the copy asks of its caller once per record.
struct CopySteps {
  std::function<bool()> proceed;  // false ends the copy before the next record
  std::function<void()> advance;  // called before each record is copied; may set proceed false
};

// Copies the records of the open table `source` from its current record on, in its current
// order, into the table `dir` + `name` that CreateDuplicate made (which must still be empty),
// moving the source along. A record whose copy was begun is completed even when `advance` asks
// to stop. When the first field is auto-increment, each record takes the source's value if it
// lies above the values given so far, else the next value; the duplicate's counter ends at the
// last value given. The records are made durable together at the end. A failure with the
// source's record k leaves the k - 1 records before it in the duplicate and is raised then.
// Returns the number of records copied.
int64_t CopyRecords(engine::FileSystem& fs, engine::TTable& source, const std::string& dir,
                    const std::string& name, const CopySteps& steps);

}  // namespace duplicate
