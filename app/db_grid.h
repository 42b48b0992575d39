#pragma once
// DBGrid: the main window's grid over DSTabelle. Besides the view's own keys it has the keys
// of a data grid: Insert inserts a record, arrow down on the last row appends one, Ctrl+Del
// deletes the current record. It only asks for these; the window decides (edit mode, the
// confirmation) and carries them out.

#include <QTableView>

namespace app {

class TDBGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TDBGrid(QWidget* parent = nullptr);

  // Hands the text of an open cell editor to the model and closes the editor.
  void commitCellEditor();
  // Closes an open cell editor without handing its text over.
  void discardCellEditor();
  bool cellEditorOpen() const { return state() == EditingState; }

 signals:
  void insertRequested();
  void appendRequested();
  void deleteRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* cellEditor() const;
};

}  // namespace app
