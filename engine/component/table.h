#pragma once
// The table component: a cursor over one Paradox table, named by DatabaseName (a directory
// ending in "/") and TableName (a file name with its extension). Reading is lazy: Open reads the
// headers only, the block chain is walked as far as the rows asked for need it (RecordCount and
// Last walk all of it, and raise for a damaged chain) and records are decoded on demand, so
// tables of millions of records open at once and rows can be read in any order.
//
// Rows are numbered 0..RecordCount()-1 in the order of the current index (IndexName empty =
// primary index; a table without key shows the stored order). Every failure raises
// EDBEngineError. Not thread-safe: one component is used by one thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "format/field_type.h"
#include "format/index_def.h"
#include "io/engine_error.h"

namespace engine {

class TTable;
class TableCursor;  // the open table's files as the engine reads them
class TableLock;
class TableWriter;
struct EditBuffer;
class FileSystem;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// Index definitions of a table: entry 0 is the primary index when the table has a key;
// the secondary indexes follow. A table without key has none.
class TIndexDefs {
 public:
  explicit TIndexDefs(TTable* owner = nullptr) : owner_(owner) {}
  // Re-reads the definitions from the owner's table files (the table may be closed).
  void Update();
  // Opening a table marks its definitions to be read on first use, so that an open that needs
  // no index (counting records) lists no directory.
  void Invalidate() { stale_ = true; }
  int Count() const { return static_cast<int>(Items().size()); }
  const TIndexDef& operator[](int i) const { return Items().at(i); }
  const TIndexDef* Find(const std::string& name) const;
  void Clear() {
    stale_ = false;
    defs_.clear();
  }
  void Add(const TIndexDef& def) {
    Settle();
    defs_.push_back(def);
  }
  void Assign(const TIndexDefs& other) {
    defs_ = other.Items();
    stale_ = false;
  }
  const std::vector<TIndexDef>& Items() const {
    Settle();
    return defs_;
  }

 private:
  // Reads the definitions when they were marked to be read on first use. The definitions are a
  // cache of the table's files, so reading them on first use is not a change of the object.
  void Settle() const {
    if (stale_) Read();
  }
  void Read() const;
  TTable* owner_;
  mutable std::vector<TIndexDef> defs_;
  mutable bool stale_ = false;
};

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  // ftString/ftBytes: length in bytes; ftBCD: decimal places; blob types: leader bytes in the
  // record (size byte − 10); 0 for fixed-size types.
  int Size = 0;
  bool Required = false;
};

class TFieldDefs {
 public:
  explicit TFieldDefs(TTable* owner = nullptr) : owner_(owner) {}
  // Re-reads the definitions from the owner's table header (the table may be closed).
  void Update();
  int Count() const { return static_cast<int>(defs_.size()); }
  const TFieldDef& operator[](int i) const { return defs_.at(i); }
  void Clear() { defs_.clear(); }
  void Add(const TFieldDef& def) { defs_.push_back(def); }
  void Assign(const TFieldDefs& other) { defs_ = other.defs_; }
  const std::vector<TFieldDef>& Items() const { return defs_; }

 private:
  TTable* owner_;
  std::vector<TFieldDef> defs_;
};

// One field of the current record of an open table. Owned by the table.
class TField {
 public:
  TField(TTable* table, int index) : table_(table), index_(index) {}
  const std::string& FieldName() const;
  TFieldType DataType() const;
  int Size() const;
  int Index() const { return index_; }  // position from 0
  bool Required() const;

  bool IsNull() const;
  // Display text: numbers in the C locale, dates with the short date format (see
  // SetShortDateFormat), times hh:nn:ss, logical "True"/"False", blobs their text for memos
  // (UTF-8) and empty for binary blobs, bytes fields as lowercase hex, BCD values that are not
  // decimals as "?". Empty for null.
  std::string AsString() const;
  int32_t AsInteger() const;  // raises for values that are not whole numbers
  double AsFloat() const;
  bool AsBoolean() const;
  // Whole content of a blob field or the raw bytes of a bytes field (memo text as stored in the
  // table's code page, graphic/OLE with their 8-byte prefix).
  std::string AsBytes() const;

  // Setters put the table into edit state rules as the component does: they need state
  // dsEdit or dsInsert and raise otherwise.
  void SetAsString(const std::string& text);  // parsed per type; "" = null
  void SetAsInteger(int32_t v);
  void SetAsFloat(double v);
  void SetAsBoolean(bool v);
  void SetAsBytes(const std::string& data);
  void Clear();  // null
  // Copies the value of a field of another table, null state and whole blob content included.
  void Assign(const TField& source);

 private:
  TTable* table_;
  int index_;
};

// Short date format used by TField::AsString and SetAsString for dates ("dd.mm.yyyy" style
// patterns of d/dd, m/mm, yy/yyyy and separators). Set once at start-up by the tools module.
void SetShortDateFormat(const std::string& pattern);
const std::string& ShortDateFormat();

class TTable {
 public:
  TTable();
  ~TTable();
  TTable(const TTable&) = delete;
  TTable& operator=(const TTable&) = delete;

  // --- naming (only while closed) ---
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& dir);
  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool on);
  void SetFileSystem(FileSystem* fs);  // for tests; default: the operating system's
  // The password of a password-protected table (UTF-8), used by the next Open; a protected
  // table opened without its password raises kErrPasswordProtected. Ignored for other tables.
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password);

  // --- open / close ---
  void Open();
  void Close();  // discards an unposted edit or insert
  bool Active() const;

  TFieldDefs& FieldDefs() { return fieldDefs_; }
  TIndexDefs& IndexDefs() { return indexDefs_; }

  // --- index ---
  const std::string& IndexName() const { return indexName_; }
  // Posts a modified record / cancels an unmodified one first, then switches the order.
  void SetIndexName(const std::string& name);

  // --- fields of the current record ---
  int FieldCount() const;
  TField& Fields(int i) {
    if (!cursor_ || i < 0 || static_cast<size_t>(i) >= fields_.size()) FailField(i);
    return *fields_[static_cast<size_t>(i)];
  }
  TField& FieldByName(const std::string& name);  // raises when missing
  TField* FindField(const std::string& name);

  // --- navigation ---
  int RecordCount() const;  // records of the whole table
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const;
  bool Bof() const;
  int RecNo() const;        // current row (0-based) in the current order; -1 when empty
  void MoveTo(int row);     // posts/cancels like any move
  void Refresh();           // posts a modified record, then re-reads the table from disk

  // Reads a field of any row without moving the cursor (for grids). Rows that are being
  // edited show the edit buffer.
  std::string CellText(int row, int field);
  bool CellIsNull(int row, int field);
  // Raises when the value of a blob field of any row cannot be read (a .MB that is missing or
  // whose entry is damaged), without reading the content; other fields are not checked.
  void CheckBlobCell(int row, int field);

  // --- editing ---
  TDataSetState State() const { return state_; }
  bool Modified() const;
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();  // in dsInsert: cancels; on an empty table raises
  // Positions on the first record (current order) whose leading index fields equal the
  // values (texts converted to the fields' types). Returns false and stays put when none. An
  // empty text for a text or date field looks for records without a value there; other fields
  // refuse it.
  bool FindKey(const std::vector<std::string>& values);
  // Creates the table from FieldDefs and IndexDefs, replacing an existing table and its
  // companion files (not while another program uses it: foreign_locks.h). The table must be
  // closed.
  void CreateTable();
  // Optional creation parameters (0 = engine default).
  void SetCreateLevel(int level) { createLevel_ = level; }
  void SetCreateBlockSize(int bytes) { createBlockSize_ = bytes; }

  // Called before a record is appended or inserted; throwing EAbort cancels silently.
  std::function<void(TTable&)> BeforeInsert;
  // Called after the current record changed (move, post, cancel, refresh, index change).
  std::function<void(TTable&)> AfterScroll;

  // Engine cursor handle of the open table, for the direct calls; nullptr when closed.
  void* Handle() const;

 private:
  friend class TField;
  friend class TFieldDefs;
  friend class TIndexDefs;
  // The open table's reading side; raises kErrNotOpen when the table is closed.
  TableCursor& OpenCursor() const {
    if (!cursor_) FailNotOpen();
    return *cursor_;
  }
  [[noreturn]] void FailNotOpen() const;
  // The edit buffer when `row` is the row being edited or inserted, else nullptr.
  const EditBuffer* EditedRow(int row) const {
    const bool editing = state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert;
    return editing ? EditedRowWhileEditing(row) : nullptr;
  }
  const EditBuffer* EditedRowWhileEditing(int row) const;
  // Fields(i) for a closed table or a field that does not exist: raises.
  [[noreturn]] void FailField(int i) const;
  // Record bytes of a row for the cell reads, with the row's edit buffer in *edited; nullptr
  // when the row or the field does not exist. Raises kErrNotOpen when the table is closed.
  const uint8_t* CellRecord(int row, int field, const EditBuffer** edited);
  // Ends an edit or insert before the cursor moves: posts a changed record, cancels an
  // unchanged one.
  void SettleEdit();
  // The writers of the table's files, made anew when someone else changed the files since the
  // last post; `*stale` tells whether the cursor must then read the files again.
  TableWriter& Writer(bool* stale);
  void EndEdit();

  std::string databaseName_;
  std::string tableName_;
  std::string indexName_;
  bool exclusive_ = false;
  int createLevel_ = 0;
  int createBlockSize_ = 0;
  FileSystem* fs_ = nullptr;
  std::string password_;
  std::unique_ptr<FileSystem> unlocked_;  // a protected table's files in clear, while open
  TDataSetState state_ = TDataSetState::dsInactive;
  TFieldDefs fieldDefs_{this};
  TIndexDefs indexDefs_{this};
  std::unique_ptr<TableLock> lock_;  // held while open; released after the files are closed
  std::unique_ptr<TableCursor> cursor_;
  std::unique_ptr<TableWriter> writer_;  // kept from one post to the next
  std::unique_ptr<EditBuffer> edit_;
  // Current row in the current order, -1 when the table is empty; eof/bof as reported.
  int current_ = -1;
  bool eof_ = true;
  bool bof_ = true;
  std::vector<std::unique_ptr<TField>> fields_;
};

}  // namespace engine
