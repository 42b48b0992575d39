#pragma once
// TDlgBlockSize: the block-size analysis window. It scans one directory for Paradox tables,
// lists each table's capacity figures, explains the columns on a header click and changes a
// table's block size or level from the list's context menu. Created once at start-up; it keeps
// its list and directory between two showings and holds the table utility session for its
// whole life.

#include <QDialog>
#include <QString>
#include <memory>

#include "blocksize/core/bde_util.h"
#include "component/table.h"

class QAction;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QMenu;
class QModelIndex;
class QPushButton;
class QStatusBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace blocksize {

// Cell numbers of a row, counted from the first column after the name.
enum SubItem {
  kSubFields = 0, kSubRecordSize = 1, kSubRpB = 2, kSubFreeX = 3, kSubLevel = 4,
  kSubBlockSize = 5, kSubTotalRecs = 6, kSubUsedRecs = 7, kSubFreeRecs = 8, kSubPercentFull = 9,
};

}  // namespace blocksize

class TDlgBlockSize : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgBlockSize(QWidget* parent = nullptr);
  ~TDlgBlockSize() override;

  // Makes `directory` the one chosen in the directory tree (switching the volume selector).
  void selectDirectory(const QString& directory);
  // The chosen directory, absolute, with no trailing "/" (except the root "/").
  QString selectedDirectory() const;

  // Lists the Paradox tables of the chosen directory; the button stays disabled meanwhile.
  // Does nothing while a change runs. Raises when the directory can't be listed.
  void ScanDirectory();
  // Whether the context menu may open on the selected row; enables its items for that row.
  bool PrepareTableMenu();
  // Opens Table exclusively; an error box tells why when that fails.
  bool OpenTableExclusive();
  // Restructure the current row's table with a new block size in bytes / a new level, both
  // given as decimal text, update the row and report the outcome in a message box.
  void ChangeBlockSize(const QString& value);
  void ChangeLevel(const QString& value);

  // Directory of the last scan with its trailing "/"; empty before the first scan.
  const QString& ScanDir() const { return scanDir_; }
  // True while a block-size or level change runs.
  bool Changing() const { return changing_; }
  QTreeWidgetItem* CurrentItem() const { return currentItem_; }
  // The utility session; nullptr when it could not be opened.
  blocksize::TBDEUtil* BDEUtil() const { return bdeUtil_.get(); }
  engine::TTable& Table() { return table_; }
  QMenu* PopupMenuTable() const { return popupMenuTable_; }

 private:
  void FormCreate();
  int scaled(int pixels) const;
  void buildLayout();
  void buildPopupMenu();
  void fillVolumes();
  void DriveComboBoxChange(int index);
  void DirectoryListBoxChange(const QModelIndex& current);
  void showChosenDirectory();
  void ButtonScanClick();
  void ListViewTablesColumnClick(int column);
  void PopupMenuTablePopup(const QPoint& position);
  void N10241Click();
  void N20481Click();
  void N40961Click();
  void N163841Click();
  void N327681Click();
  void Level4Click();
  void Level5Click();
  void Level7Click();
  void runChange(const QString& value, bool blockSize);

  QLabel* LabelLW = nullptr;
  QComboBox* DriveComboBox = nullptr;
  QLabel* StaticTextPlayList = nullptr;
  QTreeView* DirectoryListBox = nullptr;
  QFileSystemModel* directoryModel_ = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* LabelText1 = nullptr;
  QLabel* LabelText2 = nullptr;
  QLabel* LabelText3 = nullptr;
  QPushButton* ButtonScan = nullptr;
  QLabel* StaticTextDir = nullptr;
  QTreeWidget* ListViewTables = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QMenu* popupMenuTable_ = nullptr;
  QMenu* RecordSizendern1 = nullptr;
  QMenu* ParadoxLevelndern1 = nullptr;
  QAction* N10241 = nullptr;
  QAction* N20481 = nullptr;
  QAction* N40961 = nullptr;
  QAction* N163841 = nullptr;
  QAction* N327681 = nullptr;
  QAction* Level4 = nullptr;
  QAction* Level5 = nullptr;
  QAction* Level7 = nullptr;

  // The directory chosen in the tree. Kept apart from the tree's current index, which the
  // file system model may move while it loads a directory in the background.
  QString chosenDirectory_;
  double scale_ = 1.0;  // desktop font size relative to the layout's design font
  QString scanDir_;
  std::unique_ptr<blocksize::TBDEUtil> bdeUtil_;
  QTreeWidgetItem* currentItem_ = nullptr;
  bool changing_ = false;
  bool scanning_ = false;  // the scan lets events run; no change starts inside it
  engine::TTable table_;
};
