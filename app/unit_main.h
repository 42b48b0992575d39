#pragma once
// TFormMain: the main window, a browser for one Paradox table at a time. It owns the browsed
// table TTabelle and its data source DSTabelle; the grid shows the table in the order of the
// index chosen in ComboBoxIndex. Controls carry their names as object names.
//
// Every command runs inside one event; a failure ends the command with an error box showing
// the failure's message, and the window stays as the command left it.

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QDialog;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QModelIndex;
class QToolBar;
class QToolButton;

namespace engine {
class TTable;
struct TIndexDef;
}

namespace app {

class TableModel;
class TDBGrid;
class TDlgMemo;

class TFormMain : public QWidget {
  Q_OBJECT

 public:
  // Shown after the application title in the caption until the first table is opened.
  static constexpr const char* kMakerNotice = " - (c) Kerbolt-Entwicklung";
  static constexpr const char* kPrimaryIndexEntry = "Primärindex";
  static constexpr const char* kOpenFilter = "Datenbanken (*.db)";
  static constexpr const char* kOpenDefaultSuffix = "db";

  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  engine::TTable& TTabelle() { return *tabelle_; }
  TableModel& DSTabelle() { return *dsTabelle_; }
  // Directory of the program file, ending in "/".
  const QString& ProgramDirectory() const { return programDirectory_; }

  // The block-size analysis dialog created at start-up; ButtonBlockCheck shows it modally.
  void setBlockSizeDialog(QDialog* dialog) { blockSizeDialog_ = dialog; }
  // The memo dialog created at start-up; the memo command shows it modally.
  void setMemoDialog(TDlgMemo* dialog) { memoDialog_ = dialog; }

  // Edit mode: ToolButtonEdit down and DSTabelle's AutoEdit on. Off at start and after every
  // open; editModeChanged tells every change.
  bool editMode() const;

 signals:
  void editModeChanged(bool on);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  QWidget* createSearchPanel();
  QToolButton* addToolButton(const char* name, const QString& hint, int icon);

  void FormCreate();
  void FormClose();
  void ToolButtonOpenClick();
  void ComboBoxIndexChange(int entry);
  void ButtonRefreshClick();
  void ToolButtonEditClick();
  void ButtonCopyTableClick();
  void ButtonBlockCheckClick();

  // Key search and index composition (form_search.cpp).
  void SearchKey();
  void FocusSearchText();
  void ToolButtonInfoClick();
  // The index definition of the entry chosen in ComboBoxIndex; raises when the table has none.
  const engine::TIndexDef& chosenIndexDef();

  // Record commands and editing keys (record_commands.cpp).
  void FormKeyDown(QKeyEvent* key);
  void FormKeyPress(QKeyEvent* key, QWidget* target);
  void ButtonRecordCountClick();
  void TTabelleBeforeInsert();
  void deleteWithTwoQuestions();
  void deleteAfterGridConfirmation();
  void insertRecord(bool append);
  void postRecord();
  // Esc: a record edit begun in the grid is undone, then the focus goes to the search text.
  void escapePressed(bool inGrid);
  void ButtonMemoClick();
  // After every change of the current record: the grid's rows and current cell follow.
  void tableScrolled();

  // Runs a command; a failure is shown in an error box, a silent abort just ends it.
  void runCommand(const std::function<void()>& command);
  void setEditMode(bool on);
  // Decides whether ButtonCopyTable can be pressed.
  void updateCopyTableButton();
  // The commands that the first successful open enables for good.
  std::vector<QWidget*> tableCommands() const;
  void fillIndexChoice();
  // Selects the entry of the table's current index, e.g. after a refused index change.
  void showCurrentIndexInChoice();
  // A model reset sets every column to the default width. Re-reading or re-ordering the same
  // table keeps the widths the user gave the columns.
  std::vector<int> columnWidths() const;
  void restoreColumnWidths(const std::vector<int>& widths);
  void gridRowChanged(const QModelIndex& current);
  void syncGridToCursor();

  std::unique_ptr<engine::TTable> tabelle_;
  TableModel* dsTabelle_ = nullptr;
  QString programDirectory_;
  QDialog* blockSizeDialog_ = nullptr;
  TDlgMemo* memoDialog_ = nullptr;
  // True once a table has been opened: the table commands stay available from then on.
  bool tableCommandsEnabled_ = false;
  bool syncingGrid_ = false;
  bool foreignLocksWarned_ = false;  // the warning about other programs' lock files was shown

  QWidget* PanelTop = nullptr;
  QToolBar* ToolBar = nullptr;
  QToolButton* ToolButtonOpen = nullptr;
  QToolButton* ButtonRefresh = nullptr;
  QToolButton* ToolButtonEdit = nullptr;
  QToolButton* ToolButtonInfo = nullptr;
  QWidget* PanelSearch = nullptr;
  QLabel* LabelIndex = nullptr;
  QComboBox* ComboBoxIndex = nullptr;
  QLabel* LabelSuchtext = nullptr;
  QLineEdit* EditSuchtext = nullptr;
  QToolButton* SpeedButtonTake1 = nullptr;
  QToolButton* ButtonMemo = nullptr;
  QToolButton* ButtonCopyTable = nullptr;
  QToolButton* ButtonRecordCount = nullptr;
  QToolButton* ButtonBlockCheck = nullptr;
  TDBGrid* DBGrid = nullptr;
};

}  // namespace app
