#pragma once
// DSTabelle: the grid's view of the browsed table. Rows are read on demand through
// TTable::CellText, never all at once, so tables of any size show at once; a small cache keeps
// the texts of recently painted rows. Row r is row r of the table's current index order.
//
// The row and column counts are taken when the model is reset: every operation that changes
// the columns or the order (open, close, index change, refresh) has to run inside
// resetAround(); after a post, delete, insert or cancel, refreshRows() brings the rows up to
// date. A record being inserted shows as an extra last row.
//
// Cells are edited through the model: setting a cell's text puts the record into editing (when
// AutoEdit allows it) and hands the value, read in the user's locale, to its field. A value the
// field refuses is reported in an error box; the record stays in editing.

#include <QAbstractTableModel>

#include <functional>
#include <vector>

#include "app/row_cache.h"
#include "format/field_type.h"

namespace engine {
class TTable;
}

namespace app {

class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Shown in a cell whose value could not be read; the cell's tool tip gives the reason.
  static constexpr const char* kUnreadableCell = "#Fehler";

  explicit TableModel(engine::TTable& table, QObject* parent = nullptr);

  // Runs an operation on the table as one model reset. The reset completes, with the counts
  // of the table as the operation left it, also when the operation throws; the exception then
  // passes on to the caller.
  void resetAround(const std::function<void()>& operation);
  bool isResetting() const { return resetting_; }
  // Takes the table's row count again (records, plus the row being inserted) and re-reads
  // every cell, keeping the columns.
  void refreshRows();
  engine::TTable& table() { return table_; }

  // AutoEdit of the data source: whether typing in the grid may put the current record into
  // editing. Off at start.
  bool autoEdit() const { return autoEdit_; }
  void setAutoEdit(bool on) { autoEdit_ = on; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 private:
  struct Column {
    QString name;
    engine::TFieldType type;
  };

  void takeShape() noexcept;
  int tableRows() const;
  bool rowInEditing(int row) const;
  // Puts `row` into editing and gives its field the typed text; raises when refused.
  void editCell(int row, int column, const QString& typed);
  const RowCache::Row& rowTexts(int row) const;

  engine::TTable& table_;
  std::vector<Column> columns_;
  int rows_ = 0;
  bool autoEdit_ = false;
  bool resetting_ = false;
  mutable RowCache cache_;
};

// Memo, formatted memo, binary blob, graphic and OLE fields: the grid shows no text for them,
// only the marker of a value that cannot be read.
bool isMemoType(engine::TFieldType type);
// Whether the grid can edit a field of this type in a cell: not memos and other blobs, bytes
// fields or auto-increment numbers, which the engine assigns.
bool isCellEditableType(engine::TFieldType type);

}  // namespace app
