#include "app/table_model.h"

#include <exception>

#include "component/table.h"

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
    const int rows = table_.RecordCount();
    columns_ = std::move(columns);
    rows_ = rows;
  } catch (const std::exception&) {
    // A table whose fields cannot be read shows as empty rather than half-filled.
  }
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
      if (isMemoType(columns_[column].type))
        table_.CheckBlobCell(row, column);
      else
        cell = QString::fromStdString(table_.CellText(row, column));
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
