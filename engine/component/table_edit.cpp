// The table component's writing side: Append/Insert/Edit/Post/Cancel/Delete and CreateTable.
// The record being edited lives in the table's edit buffer; Post and Delete hand it to the
// table writer, which writes the record and its blobs and brings the index files up to date as
// one change: durable when Post returns, and undone by the next open when the process is killed
// half way.

#include <algorithm>

#include "component/definitions.h"
#include "component/edit_buffer.h"
#include "component/field_access.h"
#include "component/table.h"
#include "component/table_writer.h"
#include "family/family_swap.h"
#include "family/family_writer.h"
#include "family/foreign_locks.h"
#include "family/table_access.h"
#include "family/table_cursor.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"

namespace engine {

namespace {

bool Editing(TDataSetState s) { return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert; }

// Row in the current order that shows stored row `stored`.
int RowOfStored(const TableCursor& c, uint32_t stored) {
  if (c.SelectedOrder() < 0 && stored < c.RowCount()) return static_cast<int>(stored);
  for (uint32_t row = 0; row < c.RowCount(); ++row)
    if (c.StoredRow(row) == stored) return static_cast<int>(row);
  return c.RowCount() > 0 ? 0 : -1;
}

}  // namespace

TableWriter& TTable::Writer(bool* stale) {
  TableCursor& c = OpenCursor();
  *stale = false;
  if (!writer_ || !writer_->Current()) {
    writer_ = std::make_unique<TableWriter>(c.Fs(), c.Directory(), FileNameOf(c.DataPath()), c.Secondaries(), &c.Data());
    *stale = !SameFileState(writer_->Data().Header(), c.Header());
  }
  return *writer_;
}

void TTable::EndEdit() {
  edit_->Clear();
  state_ = TDataSetState::dsBrowse;
}

bool TTable::Modified() const { return Active() && Editing(state_) && edit_->modified; }

void TTable::Append() {
  TableCursor& c = OpenCursor();
  SettleEdit();
  if (BeforeInsert) BeforeInsert(*this);
  edit_->Clear();
  edit_->returnRow = current_;
  edit_->record.assign(c.Header().recordSize, 0);
  // A cursor that has not walked its chain yet leaves the count to the writer the post needs
  // anyway, which takes the chain from a .PX that agrees with the table instead of walking it.
  int rows = -1;
  if (!c.Data().Walked()) {
    try {
      bool stale = false;
      TableWriter& writer = Writer(&stale);
      if (stale)
        writer_.reset();  // the post makes it again, finds it stale and reads the files anew
      else
        rows = static_cast<int>(writer.Data().Count());
    } catch (const EDBEngineError&) {
      writer_.reset();  // the post tries again and reports what stands in its way
    }
  }
  current_ = rows >= 0 ? rows : static_cast<int>(c.RowCount());
  state_ = TDataSetState::dsInsert;
}

void TTable::Insert() {
  Append();
  edit_->insertHere = true;
}

void TTable::Edit() {
  TableCursor& c = OpenCursor();
  if (Editing(state_)) return;
  if (c.RowCount() == 0 || current_ < 0) {
    Append();
    return;
  }
  const uint8_t* record = c.RecordAt(static_cast<uint32_t>(current_));
  edit_->Clear();
  edit_->record.assign(record, record + c.Header().recordSize);
  c.Data().CheckReadsInPlace();
  state_ = TDataSetState::dsEdit;
}

void TTable::Cancel() {
  OpenCursor();
  if (!Editing(state_)) return;
  if (state_ == TDataSetState::dsInsert) current_ = edit_->returnRow;
  EndEdit();
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Post() {
  TableCursor& c = OpenCursor();
  if (!Editing(state_)) return;
  for (int i = 0; i < FieldCount() && i < fieldDefs_.Count(); ++i)
    if (fieldDefs_[i].Required && FieldIsNull(c, i, edit_->record.data(), edit_.get()))
      Fail(kErrRequired, c.DataPath(), "Das Feld " + Quoted(c.FieldNames()[static_cast<size_t>(i)]) +
                                           " muss einen Wert haben.");
  const bool inserting = state_ == TDataSetState::dsInsert;
  const int64_t editedRow = inserting ? -1 : static_cast<int64_t>(c.StoredRow(static_cast<uint32_t>(current_)));
  const int64_t insertBefore =
      inserting && edit_->insertHere && edit_->returnRow >= 0 && c.SelectedOrder() < 0 ? edit_->returnRow : -1;
  bool stale = false;
  TableWriter::Posted posted;
  try {
    posted = Writer(&stale).Post(*edit_, editedRow, insertBefore, c.BlobPath());
  } catch (...) {
    writer_.reset();
    throw;
  }
  EndEdit();
  if (stale) {
    c.Reload();
    current_ = RowOfStored(c, posted.stored);
  } else {
    current_ = c.ApplyChange(writer_->Data(), posted.removed, posted.stored);
  }
  bof_ = eof_ = false;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::Delete() {
  TableCursor& c = OpenCursor();
  if (state_ == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (c.RowCount() == 0 || current_ < 0)
    FailPlain(kErrEmptyDataSet, "Operation bei leerer Datenmenge nicht ausführbar");
  if (state_ == TDataSetState::dsEdit) EndEdit();
  const uint32_t stored = c.StoredRow(static_cast<uint32_t>(current_));
  bool stale = false;
  try {
    Writer(&stale).Delete(stored, c.BlobPath());
  } catch (...) {
    writer_.reset();
    throw;
  }
  if (stale)
    c.Reload();
  else
    c.ApplyChange(writer_->Data(), stored, -1);
  current_ = c.RowCount() == 0 ? -1 : std::min(current_, static_cast<int>(c.RowCount()) - 1);
  bof_ = current_ <= 0;
  eof_ = c.RowCount() == 0;
  if (AfterScroll) AfterScroll(*this);
}

void TTable::CreateTable() {
  if (Active()) FailPlain(kErrInvalidState, "CreateTable: Die Tabelle muss geschlossen sein.");
  if (tableName_.empty()) FailPlain(kErrInvalidParam, "Es ist kein Tabellenname angegeben.");
  FileSystem& fs = fs_ ? *fs_ : DefaultFileSystem();
  const std::string dir = WithSlash(databaseName_);
  const std::string name = tableName_.find('.') == std::string::npos ? tableName_ + ".DB" : tableName_;
  const std::string path = dir + name;
  const TableDefinition def = DefinitionFromDefs(fieldDefs_, indexDefs_, createLevel_, createBlockSize_, path);
  const auto lock = LockTableSettled(fs, dir, name, true);
  RefuseForeignUse(fs, dir, name);
  const RecordSource none = [](SourceRecord&) { return false; };
  const std::vector<WrittenFile> written = WriteFamily(fs, def, dir, name, NewFilesSuffix(), none, {});
  CommitFamily(fs, dir, ExistingFamily(fs, dir, name, true), written);
}

}  // namespace engine
