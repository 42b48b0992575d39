#include "app/unit_main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "app/db_grid.h"
#include "app/foreign_lock_warning.h"
#include "app/icons.h"
#include "app/key_preview.h"
#include "app/table_model.h"
#include "component/table.h"
#include "duplicate/duplication_request.h"
#include "tools/dialogs.h"

namespace app {
namespace {

constexpr int kWindowWidth = 815;
constexpr int kWindowHeight = 472;
constexpr int kMinimumWidth = 520;
constexpr int kMinimumHeight = 260;
constexpr int kPanelTopHeight = 28;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kSearchPanelWidth = 444;
constexpr int kSeparatorWidth = 8;
constexpr int kWidestColumn = 320;

QString applicationTitle() { return QGuiApplication::applicationDisplayName(); }

}  // namespace

TFormMain::TFormMain(QWidget* parent)
    : QWidget(parent), tabelle_(std::make_unique<engine::TTable>()) {
  setObjectName(QStringLiteral("FormMain"));
  dsTabelle_ = new TableModel(*tabelle_, this);
  dsTabelle_->setObjectName(QStringLiteral("DSTabelle"));
  createControls();
  tabelle_->AfterScroll = [this](engine::TTable&) { tableScrolled(); };
  tabelle_->BeforeInsert = [this](engine::TTable&) { TTabelleBeforeInsert(); };
  new KeyPreview(this, [this](QKeyEvent* key, QWidget* target) {
    FormKeyDown(key);
    FormKeyPress(key, target);
  });
  FormCreate();
}

TFormMain::~TFormMain() {
  tabelle_->AfterScroll = nullptr;
  tabelle_->BeforeInsert = nullptr;
  // The grid and its model read the table, so they go before it.
  delete DBGrid;
  delete dsTabelle_;
}

QToolButton* TFormMain::addToolButton(const char* name, const QString& hint, int icon) {
  auto* button = new QToolButton(ToolBar);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoRaise(true);
  button->setFixedSize(kButtonWidth, kButtonHeight);
  button->setIcon(toolbarIcon(icon));
  button->setToolTip(hint);
  ToolBar->addWidget(button);
  return button;
}

QWidget* TFormMain::createSearchPanel() {
  auto* panel = new QWidget(ToolBar);
  panel->setObjectName(QStringLiteral("PanelSearch"));
  panel->setFixedSize(kSearchPanelWidth, kButtonHeight);

  LabelIndex = new QLabel(QStringLiteral("S&ortieren"), panel);
  LabelIndex->setObjectName(QStringLiteral("LabelIndex"));
  LabelIndex->setGeometry(1, 0, 55, kButtonHeight);
  LabelIndex->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  ComboBoxIndex = new QComboBox(panel);
  ComboBoxIndex->setObjectName(QStringLiteral("ComboBoxIndex"));
  ComboBoxIndex->setGeometry(62, 0, 130, kButtonHeight);
  ComboBoxIndex->setEditable(false);
  ComboBoxIndex->setToolTip(QStringLiteral("Adressen sortieren nach ..."));
  LabelIndex->setBuddy(ComboBoxIndex);

  LabelSuchtext = new QLabel(QStringLiteral("Suchtext"), panel);
  LabelSuchtext->setObjectName(QStringLiteral("LabelSuchtext"));
  LabelSuchtext->setGeometry(192, 0, 54, kButtonHeight);
  LabelSuchtext->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  EditSuchtext = new QLineEdit(panel);
  EditSuchtext->setObjectName(QStringLiteral("EditSuchtext"));
  EditSuchtext->setGeometry(252, 0, 168, kButtonHeight);
  EditSuchtext->setToolTip(QStringLiteral("Felder im Index mittels Semikolon trennen"));

  SpeedButtonTake1 = new QToolButton(panel);
  SpeedButtonTake1->setObjectName(QStringLiteral("SpeedButtonTake1"));
  SpeedButtonTake1->setGeometry(422, 0, 14, kButtonHeight);
  SpeedButtonTake1->setAutoRaise(true);
  SpeedButtonTake1->setIcon(searchGlyph());
  SpeedButtonTake1->setIconSize(QSize(10, 10));
  SpeedButtonTake1->setToolTip(QStringLiteral("Suche starten"));
  return panel;
}

void TFormMain::createControls() {
  resize(kWindowWidth, kWindowHeight);
  setMinimumSize(kMinimumWidth, kMinimumHeight);

  PanelTop = new QWidget(this);
  PanelTop->setObjectName(QStringLiteral("PanelTop"));
  PanelTop->setFixedHeight(kPanelTopHeight);
  ToolBar = new QToolBar(PanelTop);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(kToolbarIconSize, kToolbarIconSize));
  ToolBar->setContentsMargins(0, 0, 0, 0);
  auto* topLayout = new QHBoxLayout(PanelTop);
  topLayout->setContentsMargins(2, (kPanelTopHeight - kButtonHeight) / 2, 2, 0);
  topLayout->addWidget(ToolBar);

  ToolButtonOpen = addToolButton("ToolButtonOpen", QStringLiteral("Tabelle öffnen"), kIconOpen);
  ButtonRefresh =
      addToolButton("ButtonRefresh", QStringLiteral("Tabelle aktualisieren"), kIconRefresh);
  ToolButtonEdit = addToolButton("ToolButtonEdit", QStringLiteral("Tabelle bearbeiten"), kIconEdit);
  ToolButtonEdit->setCheckable(true);
  ToolButtonInfo = addToolButton(
      "ToolButtonInfo", QStringLiteral("Zusammensetzung des aktuellen Index anzeigen"), kIconInfo);
  PanelSearch = createSearchPanel();
  ToolBar->addWidget(PanelSearch);
  ButtonMemo = addToolButton("ButtonMemo", QStringLiteral("Memo anzeigen"), kIconMemo);
  ButtonCopyTable =
      addToolButton("ButtonCopyTable", QStringLiteral("Tabelle dublizieren"), kIconCopy);
  ButtonRecordCount =
      addToolButton("ButtonRecordCount", QStringLiteral("Anzahl Datensätze ..."), kIconRecordCount);
  QWidget* separator = ToolBar->widgetForAction(ToolBar->addSeparator());
  separator->setObjectName(QStringLiteral("ToolButton2"));
  separator->setFixedWidth(kSeparatorWidth);
  ButtonBlockCheck =
      addToolButton("ButtonBlockCheck", QStringLiteral("Block-Size-Analyse"), kIconBlockSize);

  for (QWidget* command : tableCommands()) command->setEnabled(false);

  DBGrid = new TDBGrid(this);
  DBGrid->setObjectName(QStringLiteral("DBGrid"));
  DBGrid->setModel(dsTabelle_);
  DBGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  DBGrid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  // Column widths follow the rows on screen only: a table may hold millions of rows.
  DBGrid->verticalHeader()->setResizeContentsPrecision(0);
  DBGrid->horizontalHeader()->setMaximumSectionSize(kWidestColumn);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(PanelTop);
  layout->addWidget(DBGrid, 1);

  connect(ToolButtonOpen, &QToolButton::clicked, this, [this] { ToolButtonOpenClick(); });
  connect(ButtonRefresh, &QToolButton::clicked, this, [this] { ButtonRefreshClick(); });
  connect(ToolButtonEdit, &QToolButton::clicked, this, [this] { ToolButtonEditClick(); });
  connect(ButtonCopyTable, &QToolButton::clicked, this, [this] { ButtonCopyTableClick(); });
  connect(ButtonBlockCheck, &QToolButton::clicked, this, [this] { ButtonBlockCheckClick(); });
  connect(ToolButtonInfo, &QToolButton::clicked, this, [this] { ToolButtonInfoClick(); });
  connect(ButtonRecordCount, &QToolButton::clicked, this, [this] { ButtonRecordCountClick(); });
  connect(ButtonMemo, &QToolButton::clicked, this, [this] { ButtonMemoClick(); });
  connect(SpeedButtonTake1, &QToolButton::clicked, this, [this] { SearchKey(); });
  connect(EditSuchtext, &QLineEdit::returnPressed, this, [this] { SearchKey(); });
  connect(DBGrid, &TDBGrid::insertRequested, this, [this] { insertRecord(false); });
  connect(DBGrid, &TDBGrid::appendRequested, this, [this] { insertRecord(true); });
  connect(DBGrid, &TDBGrid::deleteRequested, this, [this] { deleteAfterGridConfirmation(); });
  connect(ComboBoxIndex, &QComboBox::activated, this,
          [this](int entry) { ComboBoxIndexChange(entry); });
  connect(DBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { gridRowChanged(current); });

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

std::vector<QWidget*> TFormMain::tableCommands() const {
  return {ButtonRefresh, ToolButtonEdit, ToolButtonInfo, ButtonMemo, ButtonCopyTable,
          ButtonRecordCount};
}

void TFormMain::runCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const engine::EAbort&) {
    // The command has already told the user why, or needs no word.
  } catch (const std::exception& failure) {
    tools::MessageDlg(QString::fromUtf8(failure.what()), tools::MsgDlgType::mtError, tools::mbOK);
  }
}

void TFormMain::FormCreate() {
  programDirectory_ = QCoreApplication::applicationDirPath() + QLatin1Char('/');
  setWindowTitle(applicationTitle() + QString::fromUtf8(kMakerNotice));
}

void TFormMain::closeEvent(QCloseEvent* event) {
  FormClose();
  QWidget::closeEvent(event);
}

void TFormMain::FormClose() {
  // Closing discards an unposted edit without asking.
  runCommand([this] {
    if (tabelle_->Active()) dsTabelle_->resetAround([this] { tabelle_->Close(); });
  });
}

bool TFormMain::editMode() const { return dsTabelle_->autoEdit(); }

void TFormMain::setEditMode(bool on) {
  const bool changed = on != editMode();
  if (on) WarnForeignLocksOnce(*tabelle_, &foreignLocksWarned_);
  ToolButtonEdit->setChecked(on);
  dsTabelle_->setAutoEdit(on);
  updateCopyTableButton();
  if (changed) emit editModeChanged(on);
}

void TFormMain::updateCopyTableButton() {
  // No duplication while edit mode is on, and none before a table was ever opened.
  ButtonCopyTable->setEnabled(!editMode() && tableCommandsEnabled_);
}

void TFormMain::ButtonCopyTableClick() {
  const std::vector<int> widths = columnWidths();
  duplicate::DuplicationSource source;
  source.table = tabelle_.get();
  source.programDirectory = programDirectory_;
  // The copy reads the table in primary-key order and gives its index back: the grid follows.
  source.aroundIndexChange = [this](const std::function<void()>& change) {
    dsTabelle_->resetAround(change);
  };
  runCommand([&] { duplicate::ButtonCopyTableClick(source, this); });
  showCurrentIndexInChoice();
  restoreColumnWidths(widths);
  syncGridToCursor();
}

void TFormMain::ToolButtonOpenClick() {
  const QString fileName = tools::Dialogs().GetOpenFileName(
      this, applicationTitle(), programDirectory_, QString::fromUtf8(kOpenFilter),
      QString::fromUtf8(kOpenDefaultSuffix));
  if (fileName.isEmpty()) return;
  runCommand([&] {
    dsTabelle_->resetAround([&] {
      if (tabelle_->Active()) tabelle_->Close();
      setWindowTitle(applicationTitle() + QStringLiteral("   ") + fileName);
      tabelle_->SetIndexName(std::string());
      const QFileInfo file(fileName);
      QString directory = file.absolutePath();
      if (!directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
      tabelle_->SetDatabaseName(QFile::encodeName(directory).toStdString());
      tabelle_->SetTableName(QFile::encodeName(file.fileName()).toStdString());
      setEditMode(false);
      foreignLocksWarned_ = false;
      tabelle_->Open();
    });
    fillIndexChoice();
    tableCommandsEnabled_ = true;
    for (QWidget* command : tableCommands()) command->setEnabled(true);
  });
  DBGrid->resizeColumnsToContents();
  syncGridToCursor();
}

void TFormMain::fillIndexChoice() {
  ComboBoxIndex->clear();
  ComboBoxIndex->addItem(QString::fromUtf8(kPrimaryIndexEntry));
  engine::TIndexDefs& defs = tabelle_->IndexDefs();
  defs.Update();
  // Entry k stands for index definition k; definition 0 is the primary index.
  for (int k = 1; k < defs.Count(); ++k) {
    ComboBoxIndex->addItem(QString::fromStdString(defs[k].Name));
  }
  ComboBoxIndex->setCurrentIndex(0);
}

void TFormMain::ComboBoxIndexChange(int entry) {
  const std::vector<int> widths = columnWidths();
  runCommand([&] {
    const std::string name =
        entry <= 0 ? std::string() : ComboBoxIndex->itemText(entry).toStdString();
    dsTabelle_->resetAround([&] { tabelle_->SetIndexName(name); });
  });
  showCurrentIndexInChoice();
  restoreColumnWidths(widths);
  syncGridToCursor();
}

void TFormMain::showCurrentIndexInChoice() {
  const std::string& name = tabelle_->IndexName();
  const int entry =
      name.empty() ? 0 : ComboBoxIndex->findText(QString::fromStdString(name), Qt::MatchExactly);
  if (entry >= 1 || name.empty()) ComboBoxIndex->setCurrentIndex(entry);
}

void TFormMain::ButtonRefreshClick() {
  const std::vector<int> widths = columnWidths();
  runCommand([this] { dsTabelle_->resetAround([this] { tabelle_->Refresh(); }); });
  restoreColumnWidths(widths);
  syncGridToCursor();
}

void TFormMain::ToolButtonEditClick() {
  // The click has already flipped the button; without an open table it goes back up.
  setEditMode(ToolButtonEdit->isChecked() && tabelle_->Active());
}

void TFormMain::ButtonBlockCheckClick() {
  if (blockSizeDialog_ != nullptr) blockSizeDialog_->exec();
}

std::vector<int> TFormMain::columnWidths() const {
  std::vector<int> widths;
  for (int column = 0; column < dsTabelle_->columnCount(); ++column) {
    widths.push_back(DBGrid->columnWidth(column));
  }
  return widths;
}

void TFormMain::restoreColumnWidths(const std::vector<int>& widths) {
  if (static_cast<int>(widths.size()) != dsTabelle_->columnCount()) {
    DBGrid->resizeColumnsToContents();
    return;
  }
  for (int column = 0; column < dsTabelle_->columnCount(); ++column) {
    DBGrid->setColumnWidth(column, widths[column]);
  }
}

void TFormMain::gridRowChanged(const QModelIndex& current) {
  if (syncingGrid_ || dsTabelle_->isResetting() || !current.isValid() || !tabelle_->Active()) {
    return;
  }
  runCommand([&] {
    const QScopedValueRollback<bool> syncing(syncingGrid_, true);
    tabelle_->MoveTo(current.row());
  });
  // After a refused move the grid goes back to the table's current record.
  syncGridToCursor();
}

void TFormMain::syncGridToCursor() {
  if (syncingGrid_ || dsTabelle_->isResetting() || !tabelle_->Active()) return;
  const int row = tabelle_->RecNo();
  if (row < 0 || row >= dsTabelle_->rowCount() || dsTabelle_->columnCount() == 0) return;
  const int column = qMax(0, DBGrid->currentIndex().column());
  const QModelIndex target = dsTabelle_->index(row, column);
  if (DBGrid->currentIndex() == target) return;
  const QScopedValueRollback<bool> syncing(syncingGrid_, true);
  DBGrid->setCurrentIndex(target);
}

}  // namespace app
