#pragma once
// Writing a new table in one pass from rows a caller produces, the way a copy writes one:
// records packed into full blocks, index files built at the end, the finished family swapped
// in at once. Far faster than appending and posting row by row; meant for generated and
// imported data.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "component/table.h"
#include "io/progress.h"

namespace engine {

class CodePage;
class FileSystem;
struct FieldLayout;

// The row being produced. Fields that are not set stay null. Setting a field of another type
// than the setter takes, or a value the field cannot hold, raises EDBEngineError.
class TBulkRow {
 public:
  void SetInteger(int field, int32_t value);               // short, long, auto-increment
  void SetFloat(int field, double value);                  // number, money
  void SetString(int field, const std::string& utf8);      // alpha
  void SetDate(int field, int year, int month, int day);   // date
  void SetBlob(int field, const std::string& content);     // memo (code-page bytes) and blobs
  // The value of a field of an open table's current record, null state and whole blob content
  // included; text is converted to this table's code page. The field must have the same type
  // as `field`.
  void Assign(int field, const TField& source);

 private:
  friend void CreateTableInBulk(FileSystem&, const std::string&, const std::string&, const TFieldDefs&,
                                const TIndexDefs&, int, const std::function<bool(TBulkRow&)>&, const ProgressFn&);
  TBulkRow(const std::vector<FieldLayout>& layout, const CodePage& codePage, std::vector<uint8_t>& record,
           std::map<int, std::string>& blobs)
      : layout_(layout), codePage_(codePage), record_(record), blobs_(blobs) {}
  uint8_t* Value(int field, bool (*accepts)(uint8_t type), const char* what);
  // Sets the blob field `field` to `content`.
  void PutBlob(int field, std::string content);

  const std::vector<FieldLayout>& layout_;
  const CodePage& codePage_;
  std::vector<uint8_t>& record_;
  std::map<int, std::string>& blobs_;
};

// Fills the next row; false when there is none.
using TBulkRowSource = std::function<bool(TBulkRow&)>;

// Creates the table `dir` + `name` from the component's definitions (level and language driver
// as CreateTable chooses them; `blockBytes` 0 = the default), replacing an existing table and
// its companion files, with the rows `source` produces. Rows of a table with key must come in
// key order. On any failure the table that was there stays as it was; a table that another
// program uses is not replaced (foreign_locks.h).
void CreateTableInBulk(FileSystem& fs, const std::string& dir, const std::string& name, const TFieldDefs& fields,
                       const TIndexDefs& indexes, int blockBytes, const TBulkRowSource& source,
                       const ProgressFn& progress = {});

}  // namespace engine
