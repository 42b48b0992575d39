#include "blocksize/unit_dlg_block_size.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <functional>

#include "blocksize/core/digits_to_int.h"
#include "blocksize/core/restructure_with_option.h"
#include "blocksize/core/table_capacity.h"
#include "blocksize/core/table_scan.h"
#include "tools/dialogs.h"
#include "tools/foreign_lock_dialogs.h"
#include "tools/tramek_tools.h"

using namespace blocksize;

namespace {

constexpr int kClientWidth = 715;
constexpr int kClientHeight = 623;
// Pixel sizes are laid out for a font whose digits are 6 pixels wide; a larger desktop font
// scales them, so that the figures fit their columns.
constexpr double kDesignDigitWidth = 6.0;
// Room the window manager's title bar and borders take around the client area.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;

// The client size of the design, but never larger than the screen's free area can show with
// the window's frame: on a small screen the list becomes shorter, not the dialog unusable.
QSize fittedToScreen(QSize size) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return size;
  const QSize room = screen->availableGeometry().size() - QSize(kFrameWidth, kFrameHeight);
  return size.boundedTo(room.expandedTo(QSize(1, 1)));
}

struct ColumnLayout {
  int width;
  Qt::Alignment alignment;
  const char* description;  // UTF-8; shown with a closing "."
};

// The FreeX description has two lines.
const std::array<ColumnLayout, kColumnCount> kColumns = {{
    {145, Qt::AlignLeft, "Name der Tabelle"},
    {40, Qt::AlignRight, "Anzahl der Felder eines Datensatzes"},
    {70, Qt::AlignRight, "Größe eines Datensatzes in Byte"},
    {40, Qt::AlignRight, "Datensätze pro Block"},
    {40, Qt::AlignRight,
     "Freie Bytes pro Datensatz bis Block voll,\ndarüber weniger Datensätze pro Block"},
    {38, Qt::AlignHCenter, "Paradox-Level der Tabelle"},
    {63, Qt::AlignRight, "Blockgröße"},
    {70, Qt::AlignRight, "Anzahl möglicher Datensätze"},
    {70, Qt::AlignRight, "Anzahl vorhandener Datensätze"},
    {70, Qt::AlignRight, "Anzahl noch freier Datensätze"},
    {40, Qt::AlignRight, "Füllstand der Tabelle in Prozent"},
}};

const char* const kText1 =
    "Eine Paradox-Tabelle kann maximal 64k (65.536) Böcke speichern. Die Block-Size bestimmt "
    "die Größe eines Blocks. Sechs Byte eines jeden Blocks werden für die interne Verwaltung "
    "benötigt, der Rest wird mit GANZEN Datensätzen gefüllt.";
const char* const kText2 =
    "Die Anzahl der Datensätze pro Block ergibt sich somit aus (BlockSize - 6) div RecordSize. "
    "Diese wiederum multipliziert mit 64k Blöcken ergibt die maximale Anzahl an Datensätzen, die "
    "eine Tabelle aufnehmen kann.";
const char* const kText3 =
    "Per Kontext-Menü (rechte Maustaste) können Sie die Block-Size einer Tabelle ändern.";

const char* const kHeaderStripStyle =
    "QLabel { background-color: #808080; color: white; border: 1px solid #404040; }";

QString number(double value, int decimals) { return tools::FormatNumberText(value, decimals); }

// A failure message and the tool's German sentence on the line below it.
QString failureText(const std::exception& failure, const char* sentence) {
  return QString::fromUtf8(failure.what()) + u'\n' + QString::fromUtf8(sentence);
}

void showError(const QString& text) {
  tools::MessageDlg(text, tools::MsgDlgType::mtError, tools::mbOK);
}

// Event handlers must not let an exception into the event loop: a failure that leaves a command
// is shown in an error box with its message, and the event loop goes on.
void guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& failure) {
    showError(QString::fromUtf8(failure.what()));
  }
}

QLabel* headerStrip(QWidget* parent, const char* objectName, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(objectName));
  label->setAlignment(Qt::AlignCenter);
  label->setStyleSheet(QString::fromLatin1(kHeaderStripStyle));
  return label;
}

QLabel* wrappedLabel(QWidget* parent, const char* objectName, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(objectName));
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// Runs `restore` when the scope ends, however it ends.
class ScopeExit {
 public:
  explicit ScopeExit(std::function<void()> restore) : restore_(std::move(restore)) {}
  ~ScopeExit() { restore_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  std::function<void()> restore_;
};

}  // namespace

TDlgBlockSize::TDlgBlockSize(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgBlockSize"));
  setWindowTitle(QStringLiteral("Block-Size"));
  buildLayout();
  buildPopupMenu();
  const QSize size = fittedToScreen(QSize(scaled(kClientWidth), scaled(kClientHeight)));
  // The layout may not ask for more than fits either.
  layout()->setSizeConstraint(QLayout::SetNoConstraint);
  resize(size);
  FormCreate();
}

TDlgBlockSize::~TDlgBlockSize() {
  // FormDestroy: the utility session closes before its TBDEUtil goes. A failure to close it
  // can't leave a destructor; the program is ending anyway.
  if (!bdeUtil_) return;
  try {
    bdeUtil_->Close();
  } catch (const std::exception& failure) {
    qWarning("%s", failure.what());
  }
}

int TDlgBlockSize::scaled(int pixels) const { return qRound(pixels * scale_); }

void TDlgBlockSize::FormCreate() {
  setMinimumWidth(width());
  setMaximumWidth(width());
  setMinimumHeight(height());
  setSizeGripEnabled(true);
  changing_ = false;
  scanDir_.clear();
  try {
    bdeUtil_ = std::make_unique<TBDEUtil>();
  } catch (const std::exception& failure) {
    // Without a session the scan tries to open one again and reports why it can't.
    qWarning("%s", failure.what());
  }
  LabelText1->setText(QString::fromUtf8(kText1));
  LabelText2->setText(QString::fromUtf8(kText2));
  LabelText3->setText(QString::fromUtf8(kText3));
}

void TDlgBlockSize::buildLayout() {
  LabelLW = new QLabel(QStringLiteral("Laufwerk"), this);
  LabelLW->setObjectName(QStringLiteral("LabelLW"));
  LabelLW->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  scale_ = std::max(1.0, QFontMetricsF(font()).horizontalAdvance(u'0') / kDesignDigitWidth);
  LabelLW->setFixedWidth(scaled(66));
  DriveComboBox = new QComboBox(this);
  DriveComboBox->setObjectName(QStringLiteral("DriveComboBox"));
  StaticTextPlayList = headerStrip(this, "StaticTextPlayList", QStringLiteral("Verzeichnis"));

  directoryModel_ = new QFileSystemModel(this);
  directoryModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  directoryModel_->setRootPath(QDir::rootPath());
  DirectoryListBox = new QTreeView(this);
  DirectoryListBox->setObjectName(QStringLiteral("DirectoryListBox"));
  DirectoryListBox->setModel(directoryModel_);
  DirectoryListBox->setHeaderHidden(true);
  for (int column = 1; column < directoryModel_->columnCount(); ++column) {
    DirectoryListBox->hideColumn(column);
  }

  Label1 = new QLabel(QString::fromUtf8("Block-Size und Anzahl möglicher Datensätze"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  LabelText1 = wrappedLabel(this, "LabelText1", "");
  LabelText2 = wrappedLabel(this, "LabelText2", "");
  LabelText3 = wrappedLabel(this, "LabelText3", "");
  ButtonScan = new QPushButton(QStringLiteral("Paradox-Tabellen im Verzeichnis scannen"), this);
  ButtonScan->setObjectName(QStringLiteral("ButtonScan"));
  ButtonScan->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  ButtonScan->setAutoDefault(false);

  StaticTextDir = headerStrip(this, "StaticTextDir", QString());

  ListViewTables = new QTreeWidget(this);
  ListViewTables->setObjectName(QStringLiteral("ListViewTables"));
  ListViewTables->setRootIsDecorated(false);
  ListViewTables->setItemsExpandable(false);
  ListViewTables->setSortingEnabled(false);
  ListViewTables->setUniformRowHeights(true);
  ListViewTables->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListViewTables->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListViewTables->setSelectionMode(QAbstractItemView::SingleSelection);
  ListViewTables->setAllColumnsShowFocus(true);
  ListViewTables->setContextMenuPolicy(Qt::CustomContextMenu);
  QPalette palette = ListViewTables->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
  palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
  ListViewTables->setPalette(palette);
  ListViewTables->setColumnCount(kColumnCount);
  QStringList captions;
  for (const char* caption : kColumnCaptions) captions << QString::fromLatin1(caption);
  ListViewTables->setHeaderLabels(captions);
  for (int column = 0; column < kColumnCount; ++column) {
    ListViewTables->setColumnWidth(column, scaled(kColumns[column].width));
    ListViewTables->headerItem()->setTextAlignment(column,
                                                   kColumns[column].alignment | Qt::AlignVCenter);
  }
  ListViewTables->header()->setSectionsClickable(true);
  ListViewTables->header()->setStretchLastSection(false);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(scaled(19));

  auto* driveRow = new QHBoxLayout;
  driveRow->addWidget(LabelLW);
  driveRow->addWidget(DriveComboBox, 1);
  auto* directoryColumn = new QVBoxLayout;
  directoryColumn->setSpacing(0);
  directoryColumn->addLayout(driveRow);
  directoryColumn->addSpacing(4);
  directoryColumn->addWidget(StaticTextPlayList);
  directoryColumn->addWidget(DirectoryListBox, 1);
  auto* directoryPanel = new QWidget(this);
  directoryPanel->setFixedWidth(scaled(348));
  directoryPanel->setLayout(directoryColumn);
  directoryColumn->setContentsMargins(0, 0, 0, 0);

  auto* textColumn = new QVBoxLayout;
  textColumn->setContentsMargins(28, 0, 0, 0);
  textColumn->addWidget(Label1);
  textColumn->addWidget(LabelText1);
  textColumn->addWidget(LabelText2);
  textColumn->addWidget(LabelText3);
  textColumn->addStretch(1);
  auto* rightColumn = new QVBoxLayout;
  rightColumn->addLayout(textColumn, 1);
  rightColumn->addWidget(ButtonScan);

  auto* top = new QHBoxLayout;
  top->addWidget(directoryPanel);
  top->addLayout(rightColumn, 1);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(3, 4, 4, 0);
  main->setSpacing(4);
  main->addLayout(top);
  auto* listColumn = new QVBoxLayout;
  listColumn->setSpacing(0);
  listColumn->addWidget(StaticTextDir);
  listColumn->addWidget(ListViewTables, 1);
  main->addLayout(listColumn, 1);
  main->addWidget(StatusBar1);

  fillVolumes();
  selectDirectory(QDir::currentPath());

  connect(DriveComboBox, &QComboBox::activated, this, &TDlgBlockSize::DriveComboBoxChange);
  connect(DirectoryListBox->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TDlgBlockSize::DirectoryListBoxChange);
  connect(directoryModel_, &QFileSystemModel::directoryLoaded, this,
          &TDlgBlockSize::showChosenDirectory);
  connect(ButtonScan, &QPushButton::clicked, this, &TDlgBlockSize::ButtonScanClick);
  connect(ListViewTables->header(), &QHeaderView::sectionClicked, this,
          &TDlgBlockSize::ListViewTablesColumnClick);
  connect(ListViewTables, &QWidget::customContextMenuRequested, this,
          &TDlgBlockSize::PopupMenuTablePopup);
}

void TDlgBlockSize::buildPopupMenu() {
  popupMenuTable_ = new QMenu(this);
  popupMenuTable_->setObjectName(QStringLiteral("PopupMenuTable"));
  RecordSizendern1 = popupMenuTable_->addMenu(QString::fromUtf8("Block-Size ändern"));
  RecordSizendern1->setObjectName(QStringLiteral("RecordSizendern1"));
  ParadoxLevelndern1 = popupMenuTable_->addMenu(QString::fromUtf8("Paradox-Level ändern"));
  ParadoxLevelndern1->setObjectName(QStringLiteral("ParadoxLevelndern1"));
  auto item = [this](QMenu* menu, const char* objectName, const char* caption,
                     void (TDlgBlockSize::*handler)()) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(objectName));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  N10241 = item(RecordSizendern1, "N10241", "1.024", &TDlgBlockSize::N10241Click);
  N20481 = item(RecordSizendern1, "N20481", "2.048", &TDlgBlockSize::N20481Click);
  N40961 = item(RecordSizendern1, "N40961", "4.096", &TDlgBlockSize::N40961Click);
  N163841 = item(RecordSizendern1, "N163841", "16.384", &TDlgBlockSize::N163841Click);
  N327681 = item(RecordSizendern1, "N327681", "32.768", &TDlgBlockSize::N327681Click);
  Level4 = item(ParadoxLevelndern1, "Level4", "Level 4", &TDlgBlockSize::Level4Click);
  Level5 = item(ParadoxLevelndern1, "Level5", "Level 5", &TDlgBlockSize::Level5Click);
  Level7 = item(ParadoxLevelndern1, "Level7", "Level 7", &TDlgBlockSize::Level7Click);
}

void TDlgBlockSize::fillVolumes() {
  DriveComboBox->clear();
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    // Containers mount single files too; only directories can be browsed.
    if (!volume.isValid() || !volume.isReady() || !QFileInfo(volume.rootPath()).isDir()) continue;
    DriveComboBox->addItem(volume.rootPath(), volume.rootPath());
  }
}

void TDlgBlockSize::DriveComboBoxChange(int index) {
  const QString root = DriveComboBox->itemData(index).toString();
  if (root.isEmpty()) return;
  DirectoryListBox->setRootIndex(directoryModel_->index(root));
  DirectoryListBox->setCurrentIndex(directoryModel_->index(root));
  chosenDirectory_ = root;
}

void TDlgBlockSize::DirectoryListBoxChange(const QModelIndex& current) {
  // Only the user moves the current directory of a focused tree.
  if (current.isValid() && DirectoryListBox->hasFocus()) {
    chosenDirectory_ = directoryModel_->filePath(current);
  }
}

void TDlgBlockSize::selectDirectory(const QString& directory) {
  const QString path = QDir::cleanPath(QDir(directory).absolutePath());
  // The volume whose root is the longest leading part of the path.
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < DriveComboBox->count(); ++i) {
    const QString root = DriveComboBox->itemData(i).toString();
    const bool contains = path == root || root == QDir::rootPath() ||
                          path.startsWith(root.endsWith(u'/') ? root : root + u'/');
    if (contains && root.size() > bestLength) {
      best = i;
      bestLength = root.size();
    }
  }
  if (best >= 0) {
    DriveComboBox->setCurrentIndex(best);
    const QString root = DriveComboBox->itemData(best).toString();
    DirectoryListBox->setRootIndex(directoryModel_->index(root));
  }
  const QModelIndex index = directoryModel_->index(path);
  DirectoryListBox->setCurrentIndex(index);
  DirectoryListBox->scrollTo(index);
  chosenDirectory_ = path;
}

QString TDlgBlockSize::selectedDirectory() const { return chosenDirectory_; }

void TDlgBlockSize::showChosenDirectory() {
  // Loading a directory can remove and re-add the row of a directory made after the model
  // first listed its parent, which moves the tree's current row away from the chosen one.
  const QModelIndex index = directoryModel_->index(chosenDirectory_);
  if (index.isValid() && DirectoryListBox->currentIndex() != index) {
    DirectoryListBox->setCurrentIndex(index);
  }
}

void TDlgBlockSize::ButtonScanClick() {
  guarded([this] { ScanDirectory(); });
}

void TDlgBlockSize::ScanDirectory() {
  // A change in progress points at a row of the list; the list stays until it ends.
  if (changing_ || scanning_) return;
  ButtonScan->setEnabled(false);
  scanning_ = true;
  ScopeExit restore([this] {
    ButtonScan->setEnabled(true);
    scanning_ = false;
  });
  ListViewTables->clear();
  currentItem_ = nullptr;
  scanDir_ = selectedDirectory();
  if (!scanDir_.endsWith(u'/')) scanDir_ += u'/';
  StaticTextDir->setText(scanDir_ + QStringLiteral("*.DB"));
  if (!bdeUtil_) bdeUtil_ = std::make_unique<TBDEUtil>();

  const std::string directory = QFile::encodeName(scanDir_).toStdString();
  const NumberFormat format = [](double value, int decimals) {
    return number(value, decimals).toStdString();
  };
  for (const std::string& fileName : listParadoxTables(directory)) {
    const TableScanRow row = scanTable(bdeUtil_.get(), table_, directory, fileName);
    const std::array<std::string, kColumnCount> cells = scanRowCells(row, format);
    auto* item = new QTreeWidgetItem(ListViewTables);
    item->setText(0, u' ' + QFile::decodeName(QByteArray::fromStdString(fileName)));
    for (int column = 1; column < kColumnCount; ++column) {
      item->setText(column, QString::fromStdString(cells[column]));
    }
    for (int column = 0; column < kColumnCount; ++column) {
      item->setTextAlignment(column, kColumns[column].alignment | Qt::AlignVCenter);
    }
    QApplication::processEvents();
  }
}

void TDlgBlockSize::ListViewTablesColumnClick(int column) {
  if (column < 0 || column >= kColumnCount) return;
  tools::MessageDlg(QString::fromUtf8(kColumns[column].description) + u'.',
                    tools::MsgDlgType::mtInformation, tools::mbOK);
}

void TDlgBlockSize::PopupMenuTablePopup(const QPoint& position) {
  bool open = false;
  guarded([this, &open] { open = PrepareTableMenu(); });
  if (open) popupMenuTable_->popup(ListViewTables->viewport()->mapToGlobal(position));
}

bool TDlgBlockSize::PrepareTableMenu() {
  if (changing_ || scanning_) return false;
  const QList<QTreeWidgetItem*> selected = ListViewTables->selectedItems();
  if (selected.isEmpty()) return false;
  currentItem_ = selected.constFirst();
  table_.Close();
  table_.SetExclusive(false);
  table_.SetDatabaseName(QFile::encodeName(scanDir_).toStdString());
  table_.SetTableName(QFile::encodeName(tools::TrimBlanks(currentItem_->text(0))).toStdString());

  // Exact comparisons with the cells as the scan writes them, trailing blank included.
  const QString level = currentItem_->text(1 + kSubLevel);
  const QString block = currentItem_->text(1 + kSubBlockSize);
  const bool level4 = level == QStringLiteral("4");
  N10241->setEnabled(block != QStringLiteral("1.024 "));
  N20481->setEnabled(block != QStringLiteral("2.048 "));
  N40961->setEnabled(block != QStringLiteral("4.096 "));
  N163841->setEnabled(block != QStringLiteral("16.384 ") && !level4);
  N327681->setEnabled(block != QStringLiteral("32.768 ") && !level4);
  Level4->setEnabled(!level4);
  Level5->setEnabled(level != QStringLiteral("5"));
  Level7->setEnabled(level != QStringLiteral("7"));
  RecordSizendern1->setEnabled(true);
  ParadoxLevelndern1->setEnabled(true);
  return true;
}

bool TDlgBlockSize::OpenTableExclusive() {
  table_.SetExclusive(true);
  try {
    table_.Open();
  } catch (const std::exception& failure) {
    showError(failureText(failure, "Tabelle konnte nicht exklusiv geöffnet werden."));
  }
  return table_.Active();
}

void TDlgBlockSize::runChange(const QString& value, bool blockSize) {
  if (changing_ || scanning_ || currentItem_ == nullptr) return;
  changing_ = true;
  // A scan would clear the row that the change writes to.
  ButtonScan->setEnabled(false);
  ScopeExit cleanup([this] {
    try {
      table_.Close();
      table_.SetExclusive(false);
    } catch (const std::exception& failure) {
      qWarning("%s", failure.what());
    }
    tools::SetBusyCursor(false);
    ButtonScan->setEnabled(true);
    changing_ = false;
  });
  std::unique_ptr<engine::ForeignLockConsent> consent;
  if (!tools::ConfirmForeignLockFiles(table_.DatabaseName(), table_.TableName(), &consent)) return;
  if (!OpenTableExclusive()) return;
  try {
    tools::SetBusyCursor(true);
    if (blockSize) {
      RestructureWithOption(table_, "BLOCK SIZE", value.toStdString());
      const int32_t newBlock = DigitsToInt(value.toStdString());
      const int32_t count = table_.RecordCount();
      const int32_t recordSize =
          DigitsToInt(currentItem_->text(1 + kSubRecordSize).toStdString());
      const TableCapacity capacity = computeCapacity(recordSize, newBlock);
      currentItem_->setText(1 + kSubRpB, number(capacity.RpB, 0));
      currentItem_->setText(1 + kSubFreeX, number(capacity.FreeX, 0));
      currentItem_->setText(1 + kSubBlockSize, number(newBlock, 0));
      currentItem_->setText(1 + kSubTotalRecs, number(static_cast<double>(capacity.Total), 0));
      currentItem_->setText(1 + kSubUsedRecs, number(count, 0));
      currentItem_->setText(1 + kSubFreeRecs,
                            number(static_cast<double>(capacity.Total - count), 0));
      const std::optional<double> percent = percentFull(count, capacity.Total);
      currentItem_->setText(1 + kSubPercentFull, percent ? number(*percent, 1) : QString());
      tools::MessageDlg(QString::fromUtf8("BlockSize geändert."),
                        tools::MsgDlgType::mtInformation, tools::mbOK);
    } else {
      RestructureWithOption(table_, "LEVEL", value.toStdString());
      currentItem_->setText(1 + kSubLevel, value);
      tools::MessageDlg(QString::fromUtf8("Level geändert."), tools::MsgDlgType::mtInformation,
                        tools::mbOK);
    }
  } catch (const std::exception& failure) {
    showError(failureText(failure, blockSize ? "BlockSize konnte nicht geändert werden."
                                             : "Level konnte nicht geändert werden."));
  }
}

void TDlgBlockSize::ChangeBlockSize(const QString& value) {
  guarded([this, &value] { runChange(value, true); });
}

void TDlgBlockSize::ChangeLevel(const QString& value) {
  guarded([this, &value] { runChange(value, false); });
}

void TDlgBlockSize::N10241Click() { ChangeBlockSize(QStringLiteral("1024")); }
void TDlgBlockSize::N20481Click() { ChangeBlockSize(QStringLiteral("2048")); }
void TDlgBlockSize::N40961Click() { ChangeBlockSize(QStringLiteral("4096")); }
void TDlgBlockSize::N163841Click() { ChangeBlockSize(QStringLiteral("16384")); }
void TDlgBlockSize::N327681Click() { ChangeBlockSize(QStringLiteral("32768")); }
void TDlgBlockSize::Level4Click() { ChangeLevel(QStringLiteral("4")); }
void TDlgBlockSize::Level5Click() { ChangeLevel(QStringLiteral("5")); }
void TDlgBlockSize::Level7Click() { ChangeLevel(QStringLiteral("7")); }
