#include "duplicate/core/record_copy.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "component/bulk_table.h"
#include "component/table.h"
#include "io/engine_error.h"
#include "io/file_system.h"

namespace duplicate {
namespace {

std::string WithSlash(const std::string& dir) {
  return !dir.empty() && dir.back() == '/' ? dir : dir + '/';
}

std::string Quoted(const std::string& text) { return "„" + text + "“"; }

// The definitions of the open table, read anew from its files.
void ReadDefinitions(engine::TTable& source) {
  source.FieldDefs().Update();
  source.IndexDefs().Update();
}

bool LeadingAutoIncrement(engine::TTable& source) {
  return source.FieldCount() > 0 && source.Fields(0).DataType() == engine::ftAutoInc;
}

// The value the duplicate gives a record whose source value is `wanted`: that value when it
// lies above the last value given, else the next one.
int32_t NextAutoIncrement(int64_t& counter, const engine::TField& field) {
  const int64_t wanted = field.IsNull() ? 0 : field.AsInteger();
  if (counter >= std::numeric_limits<int32_t>::max())
    throw engine::EDBEngineError(engine::kErrInvalidValue,
                                 "Der Zähler des Feldes " + Quoted(field.FieldName()) +
                                     " hat seinen größten Wert erreicht.");
  counter = std::max(counter + 1, wanted);
  return static_cast<int32_t>(counter);
}

}  // namespace

void CreateDuplicate(engine::FileSystem& fs, engine::TTable& source, const std::string& dir,
                     const std::string& name) {
  const std::string target = WithSlash(dir) + name;
  const std::string sourcePath = WithSlash(source.DatabaseName()) + source.TableName();
  if (fs.CanonicalPath(target) == fs.CanonicalPath(sourcePath))
    throw engine::EDBEngineError(engine::kErrInvalidParam,
                                 "Die Tabelle " + Quoted(sourcePath) +
                                     " kann nicht durch ihr eigenes Duplikat ersetzt werden.");
  ReadDefinitions(source);
  engine::TTable copy;
  copy.SetFileSystem(&fs);
  copy.SetDatabaseName(WithSlash(dir));
  copy.SetTableName(name);
  copy.FieldDefs().Assign(source.FieldDefs());
  copy.IndexDefs().Assign(source.IndexDefs());
  copy.CreateTable();
}

int64_t CopyRecords(engine::FileSystem& fs, engine::TTable& source, const std::string& dir,
                    const std::string& name, const CopySteps& steps) {
  ReadDefinitions(source);
  const bool autoIncrement = LeadingAutoIncrement(source);
  const int fieldCount = source.FieldCount();
  int64_t counter = 0;
  int64_t copied = 0;
  std::exception_ptr failure;
  const engine::TBulkRowSource rows = [&](engine::TBulkRow& row) {
    if (source.Eof() || !steps.proceed()) return false;
    steps.advance();
    try {
      int field = 0;
      if (autoIncrement) row.SetInteger(field++, NextAutoIncrement(counter, source.Fields(0)));
      for (; field < fieldCount; ++field) row.Assign(field, source.Fields(field));
    } catch (...) {
      // The records before this one are still written; the failure is raised afterwards.
      failure = std::current_exception();
      return false;
    }
    source.Next();
    ++copied;
    return true;
  };
  engine::CreateTableInBulk(fs, dir, name, source.FieldDefs(), source.IndexDefs(), 0, rows);
  if (failure) std::rethrow_exception(failure);
  return copied;
}

}  // namespace duplicate
