#include "app/db_grid.h"

#include <QApplication>
#include <QKeyEvent>

namespace app {

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
}

QWidget* TDBGrid::cellEditor() const {
  if (state() != EditingState) return nullptr;
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) focus = window()->focusWidget();
  return focus != nullptr && viewport()->isAncestorOf(focus) ? focus : nullptr;
}

void TDBGrid::commitCellEditor() {
  QWidget* editor = cellEditor();
  if (editor == nullptr) return;
  commitData(editor);
  if (cellEditor() == editor) closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::discardCellEditor() {
  if (QWidget* editor = cellEditor()) closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (event->key() == Qt::Key_Insert && modifiers == Qt::NoModifier) {
    emit insertRequested();
    return;
  }
  if (event->key() == Qt::Key_Delete && modifiers == Qt::ControlModifier) {
    emit deleteRequested();
    return;
  }
  if (event->key() == Qt::Key_Down && modifiers == Qt::NoModifier && model() != nullptr &&
      currentIndex().isValid() && currentIndex().row() == model()->rowCount() - 1) {
    emit appendRequested();
    return;
  }
  QTableView::keyPressEvent(event);
}

}  // namespace app
