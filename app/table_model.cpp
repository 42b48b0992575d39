#include "app/table_model.h"

#include <exception>
#include <optional>
#include <stdexcept>

#include "app/cell_text.h"
#include "app/record_state.h"
#include "component/table.h"
#include "tools/dialogs.h"

namespace app {
namespace {

constexpr std::size_t kCachedRows = 512;

bool isNumericType(engine::TFieldType type) {
  switch (type) {
    case engine::ftSmallint:
    case engine::ftInteger:
    case engine::ftWord:
    case engine::ftFloat:
    case engine::ftCurrency:
    case engine::ftBCD:
    case engine::ftAutoInc:
    case engine::ftLargeint:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool isMemoType(engine::TFieldType type) {
  switch (type) {
    case engine::ftMemo:
    case engine::ftFmtMemo:
    case engine::ftBlob:
    case engine::ftGraphic:
    case engine::ftParadoxOle:
      return true;
    default:
      return false;
  }
}

bool isCellEditableType(engine::TFieldType type) {
  switch (type) {
    case engine::ftBytes:
    case engine::ftVarBytes:
    case engine::ftAutoInc:
    case engine::ftUnknown:
      return false;
    default:
      return !isMemoType(type);
  }
}

TableModel::TableModel(engine::TTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), cache_(kCachedRows) {}

void TableModel::resetAround(const std::function<void()>& operation) {
  struct EndReset {
    TableModel* model;
    ~EndReset() {
      model->takeShape();
      model->resetting_ = false;
      model->endResetModel();
    }
  };
  beginResetModel();
  resetting_ = true;
  EndReset end{this};
  operation();
}

void TableModel::takeShape() noexcept {
  cache_.clear();
  columns_.clear();
  rows_ = 0;
  try {
    if (!table_.Active()) return;
    const int count = table_.FieldCount();
    std::vector<Column> columns;
    columns.reserve(count);
    for (int i = 0; i < count; ++i) {
      engine::TField& field = table_.Fields(i);
      columns.push_back({QString::fromStdString(field.FieldName()), field.DataType()});
    }
    const int rows = tableRows();
    columns_ = std::move(columns);
    rows_ = rows;
  } catch (const std::exception&) {
    // A table whose fields cannot be read shows as empty rather than half-filled.
  }
}

int TableModel::tableRows() const {
  if (!table_.Active()) return 0;
  const bool inserting = table_.State() == engine::TDataSetState::dsInsert;
  return table_.RecordCount() + (inserting ? 1 : 0);
}

void TableModel::refreshRows() {
  if (resetting_) return;
  // The view must not move the cursor while rows come and go: the table already stands where
  // the operation left it.
  resetting_ = true;
  int wanted = 0;
  try {
    wanted = tableRows();
  } catch (const std::exception&) {
    wanted = 0;
  }
  if (wanted > rows_) {
    beginInsertRows(QModelIndex(), rows_, wanted - 1);
    rows_ = wanted;
    endInsertRows();
  } else if (wanted < rows_) {
    beginRemoveRows(QModelIndex(), wanted, rows_ - 1);
    rows_ = wanted;
    endRemoveRows();
  }
  resetting_ = false;
  cache_.clear();
  if (rows_ > 0 && !columns_.empty()) {
    emit dataChanged(index(0, 0), index(rows_ - 1, static_cast<int>(columns_.size()) - 1));
  }
}

bool TableModel::rowInEditing(int row) const {
  return IsEditing(table_.State()) && table_.RecNo() == row;
}

int TableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const RowCache::Row& TableModel::rowTexts(int row) const {
  if (const RowCache::Row* cached = cache_.find(row)) return *cached;
  RowCache::Row texts;
  for (int column = 0; column < static_cast<int>(columns_.size()); ++column) {
    QString cell;
    QString error;
    try {
      // Memo cells show no text, but a value that cannot be read is marked there too.
      if (isMemoType(columns_[column].type)) {
        table_.CheckBlobCell(row, column);
      } else {
        cell = DisplayCellText(columns_[column].type,
                               QString::fromStdString(table_.CellText(row, column)));
      }
    } catch (const std::exception& failure) {
      cell = QString::fromUtf8(kUnreadableCell);
      error = QString::fromUtf8(failure.what());
    }
    texts.cells.append(cell);
    texts.errors.append(error);
  }
  return cache_.insert(row, std::move(texts));
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  const Column& column = columns_[index.column()];
  switch (role) {
    case Qt::DisplayRole: {
      const QString& text = rowTexts(index.row()).cells[index.column()];
      if (isMemoType(column.type) && text.isEmpty()) return QVariant();
      return text;
    }
    case Qt::EditRole: {
      if (!isCellEditableType(column.type)) return QVariant();
      try {
        return EditCellText(column.type,
                            QString::fromStdString(table_.CellText(index.row(), index.column())));
      } catch (const std::exception&) {
        return QString();
      }
    }
    case Qt::ToolTipRole: {
      const QString& error = rowTexts(index.row()).errors[index.column()];
      return error.isEmpty() ? QVariant() : QVariant(error);
    }
    case Qt::TextAlignmentRole:
      if (isNumericType(column.type)) return int(Qt::AlignRight | Qt::AlignVCenter);
      return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return QVariant();
  }
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || !checkIndex(index)) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  // With AutoEdit off only a record already in editing takes typed values.
  if (isCellEditableType(columns_[index.column()].type) &&
      (autoEdit_ || rowInEditing(index.row()))) {
    flags |= Qt::ItemIsEditable;
  }
  return flags;
}

void TableModel::editCell(int row, int column, const QString& typed) {
  if (table_.RecNo() != row) table_.MoveTo(row);
  if (!rowInEditing(row)) {
    if (!autoEdit_) throw engine::EAbort();
    table_.Edit();
  }
  engine::TField& field = table_.Fields(column);
  const std::optional<QString> text = EngineCellText(field.DataType(), typed);
  if (!text) {
    throw std::runtime_error(
        QStringLiteral("„%1“ ist kein gültiger Wert für das Feld „%2“.")
            .arg(typed, QString::fromStdString(field.FieldName()))
            .toStdString());
  }
  field.SetAsString(text->toStdString());
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !checkIndex(index)) return false;
  if (!isCellEditableType(columns_[index.column()].type)) return false;
  if (value.toString() == data(index, Qt::EditRole).toString()) return false;
  bool written = false;
  try {
    editCell(index.row(), index.column(), value.toString());
    written = true;
  } catch (const engine::EAbort&) {
  } catch (const std::exception& failure) {
    tools::MessageDlg(QString::fromUtf8(failure.what()), tools::MsgDlgType::mtError, tools::mbOK);
  }
  refreshRows();
  return written;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return QVariant();
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= static_cast<int>(columns_.size())) return QVariant();
    return columns_[section].name;
  }
  if (section < 0 || section >= rows_) return QVariant();
  return section + 1;
}

}  // namespace app
