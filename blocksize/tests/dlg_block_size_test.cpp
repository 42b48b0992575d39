#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "blocksize/tests/core/table_cells.h"
#include "blocksize/unit_dlg_block_size.h"
#include "testsupport/dir_snapshot.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/foreign_lock_files.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"
#include "tools/testsupport/scripted_dialogs.h"

// Readable failure output for cell texts.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using blocksize_test::ReadAllCells;
using testsupport::CopyTable;
using testsupport::TempDir;
using tools::MsgDlgType;

class DlgBlockSizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = std::make_unique<TDlgBlockSize>();
    list_ = dialog_->findChild<QTreeWidget*>(QStringLiteral("ListViewTables"));
    button_ = dialog_->findChild<QPushButton*>(QStringLiteral("ButtonScan"));
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(button_, nullptr);
  }
  void TearDown() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

  void scan(const TempDir& dir) {
    dialog_->selectDirectory(QString::fromStdString(dir.Path()));
    dialog_->ScanDirectory();
  }

  QStringList rowTexts(int row) const {
    QStringList texts;
    for (int column = 0; column < list_->columnCount(); ++column) {
      texts << list_->topLevelItem(row)->text(column);
    }
    return texts;
  }

  QAction* action(const char* name) const {
    return dialog_->findChild<QAction*>(QString::fromLatin1(name));
  }

  // Selects a row and opens the context menu's preparation on it.
  bool prepareOn(int row) {
    list_->setCurrentItem(list_->topLevelItem(row));
    return dialog_->PrepareTableMenu();
  }

  void expectIdle() const {
    EXPECT_FALSE(dialog_->Changing());
    EXPECT_FALSE(dialog_->Table().Active());
    EXPECT_FALSE(dialog_->Table().Exclusive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(button_->isEnabled());
  }

  tools::ScriptedDialogs dialogs_;
  tools::ScopedDialogSeam seam_{dialogs_};
  std::unique_ptr<TDlgBlockSize> dialog_;
  QTreeWidget* list_ = nullptr;
  QPushButton* button_ = nullptr;
};

TEST_F(DlgBlockSizeTest, StartsEmptyWithItsLayout) {
  EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Block-Size"));
  EXPECT_TRUE(dialog_->ScanDir().isEmpty());
  EXPECT_FALSE(dialog_->Changing());
  EXPECT_NE(dialog_->BDEUtil(), nullptr);
  EXPECT_EQ(list_->topLevelItemCount(), 0);
  EXPECT_EQ(dialog_->minimumWidth(), dialog_->maximumWidth());
  EXPECT_EQ(dialog_->minimumHeight(), dialog_->height());
  EXPECT_GT(dialog_->maximumHeight(), dialog_->height());
  EXPECT_EQ(list_->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(list_->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_FALSE(list_->isSortingEnabled());

  const QStringList captions = {"Name",       "Fields",     "Record Size", "RpB",
                                "FreeX",      "Level",      "Block Size",  "Total Recs",
                                "Used Recs",  "Free Recs",  "% Full"};
  const int widths[] = {145, 40, 70, 40, 40, 38, 63, 70, 70, 70, 40};
  ASSERT_EQ(list_->columnCount(), captions.size());
  // The widths grow with the desktop font, all by the same factor.
  const double scale = list_->columnWidth(0) / 145.0;
  EXPECT_GE(scale, 1.0);
  for (int column = 0; column < captions.size(); ++column) {
    EXPECT_EQ(list_->headerItem()->text(column), captions[column]);
    EXPECT_NEAR(list_->columnWidth(column), widths[column] * scale, 1.0) << column;
  }
  EXPECT_FALSE(dialog_->findChild<QLabel*>(QStringLiteral("LabelText1"))->text().isEmpty());
}

TEST_F(DlgBlockSizeTest, HeaderClickExplainsEachColumn) {
  const char* const expected[] = {
      "Name der Tabelle.",
      "Anzahl der Felder eines Datensatzes.",
      "Größe eines Datensatzes in Byte.",
      "Datensätze pro Block.",
      "Freie Bytes pro Datensatz bis Block voll,\ndarüber weniger Datensätze pro Block.",
      "Paradox-Level der Tabelle.",
      "Blockgröße.",
      "Anzahl möglicher Datensätze.",
      "Anzahl vorhandener Datensätze.",
      "Anzahl noch freier Datensätze.",
      "Füllstand der Tabelle in Prozent.",
  };
  for (int column = 0; column < 11; ++column) {
    dialogs_.queueMessageResult(tools::mrOk);
    emit list_->header()->sectionClicked(column);
  }
  ASSERT_EQ(dialogs_.messageCalls().size(), 11u);
  for (int column = 0; column < 11; ++column) {
    const auto& call = dialogs_.messageCalls()[column];
    EXPECT_EQ(call.text, QString::fromUtf8(expected[column]));
    EXPECT_EQ(call.type, MsgDlgType::mtInformation);
    EXPECT_EQ(call.buttons, unsigned(tools::mbOK));
  }
}

TEST_F(DlgBlockSizeTest, EmptyDirectoryGivesAnEmptyListAndTheMask) {
  TempDir dir;
  scan(dir);
  EXPECT_EQ(dialog_->ScanDir(), QString::fromStdString(dir.Path()));
  EXPECT_EQ(dialog_->findChild<QLabel*>(QStringLiteral("StaticTextDir"))->text(),
            QString::fromStdString(dir.Path()) + QStringLiteral("*.DB"));
  EXPECT_EQ(list_->topLevelItemCount(), 0);
  EXPECT_TRUE(button_->isEnabled());
}

TEST_F(DlgBlockSizeTest, UnreadableDirectoryShowsAnErrorAndFreesTheButton) {
  auto dir = std::make_unique<TempDir>();
  dialog_->selectDirectory(QString::fromStdString(dir->Path()));
  dir.reset();
  dialogs_.queueMessageResult(tools::mrOk);
  button_->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, MsgDlgType::mtError);
  EXPECT_TRUE(dialogs_.messageCalls()[0].text.contains(QStringLiteral("kann nicht gelesen")));
  EXPECT_TRUE(button_->isEnabled());
}

class DlgBlockSizeFixtureTest : public DlgBlockSizeTest {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    DlgBlockSizeTest::SetUp();
  }
};

TEST_F(DlgBlockSizeFixtureTest, ScanFillsOneRowPerTableInGermanFormat) {
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::Level4(), dir.Path());
  std::ofstream(dir.Path() + "X.db") << "kein Paradox";
  scan(dir);
  ASSERT_EQ(list_->topLevelItemCount(), 3);
  EXPECT_EQ(rowTexts(0), QStringList({" CUSTOMER.DB", "10 ", "394 ", "5 ", "14 ", "7", "2.048 ",
                                      "327.680 ", "20 ", "327.660 ", "0,0 "}));
  EXPECT_EQ(rowTexts(1), QStringList({" X.db", "", "", "", "", "", "", "0 ", "error", "0 ", ""}));
  EXPECT_EQ(rowTexts(2), QStringList({" of_cp866.db", "19 ", "277 ", "7 ", "14 ", "4", "2.048 ",
                                      "458.752 ", "2.197 ", "456.555 ", "0,5 "}));
  for (int column = 0; column < 11; ++column) {
    const Qt::Alignment horizontal =
        Qt::Alignment(list_->topLevelItem(0)->textAlignment(column)) & Qt::AlignHorizontal_Mask;
    const Qt::Alignment expected = column == 0   ? Qt::AlignLeft
                                   : column == 5 ? Qt::AlignHCenter
                                                 : Qt::AlignRight;
    EXPECT_EQ(horizontal, expected) << column;
  }
  expectIdle();

  // A second showing keeps the list; a new scan replaces it.
  dialog_->show();
  dialog_->hide();
  EXPECT_EQ(list_->topLevelItemCount(), 3);
  fs::remove(dir.Path() + "X.db");
  dialog_->ScanDirectory();
  EXPECT_EQ(list_->topLevelItemCount(), 2);
}

TEST_F(DlgBlockSizeFixtureTest, MenuItemsFollowTheRowsLevelAndBlockSize) {
  TempDir dir;
  scan(dir);
  EXPECT_FALSE(dialog_->PrepareTableMenu());  // no selected row
  struct Case {
    const char* level;
    const char* block;
    // Enabled: 1.024 2.048 4.096 16.384 32.768, Level 4 5 7
    std::array<bool, 8> enabled;
  };
  const Case cases[] = {
      {"4", "2.048 ", {true, false, true, false, false, false, true, true}},
      {"4", "1.024 ", {false, true, true, false, false, false, true, true}},
      {"5", "16.384 ", {true, true, true, false, true, true, false, true}},
      {"7", "32.768 ", {true, true, true, true, false, true, true, false}},
      {"7", "4.096 ", {true, true, false, true, true, true, true, false}},
      {"3", "2.048", {true, true, true, true, true, true, true, true}},   // no trailing blank
      {"7 ", "2,048 ", {true, true, true, true, true, true, true, true}},  // other locale
      {"", "", {true, true, true, true, true, true, true, true}},          // unreadable table
  };
  const char* const items[] = {"N10241", "N20481", "N40961", "N163841",
                               "N327681", "Level4", "Level5", "Level7"};
  for (const Case& c : cases) {
    list_->clear();
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QStringLiteral(" T.DB"));
    item->setText(5, QString::fromUtf8(c.level));
    item->setText(6, QString::fromUtf8(c.block));
    ASSERT_TRUE(prepareOn(0));
    EXPECT_EQ(dialog_->CurrentItem(), item);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(action(items[i])->isEnabled(), c.enabled[i])
          << items[i] << " level '" << c.level << "' block '" << c.block << "'";
    }
    EXPECT_TRUE(dialog_->findChild<QMenu*>(QStringLiteral("RecordSizendern1"))->isEnabled());
    EXPECT_TRUE(dialog_->findChild<QMenu*>(QStringLiteral("ParadoxLevelndern1"))->isEnabled());
  }
  EXPECT_EQ(dialog_->Table().TableName(), "T.DB");
  EXPECT_EQ(dialog_->Table().DatabaseName(), dir.Path());
}

TEST_F(DlgBlockSizeFixtureTest, RightClickOnARowOpensTheMenuForThatRow) {
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::Level4(), dir.Path());
  scan(dir);
  dialog_->show();
  QWidget* viewport = list_->viewport();
  auto rightClick = [&](const QPoint& position) {
    QTest::mousePress(viewport, Qt::RightButton, {}, position);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, position);
    QContextMenuEvent event(QContextMenuEvent::Mouse, position, viewport->mapToGlobal(position));
    QApplication::sendEvent(viewport, &event);
  };
  QMenu* menu = dialog_->PopupMenuTable();
  rightClick(list_->visualItemRect(list_->topLevelItem(1)).center());
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(dialog_->CurrentItem(), list_->topLevelItem(1));
  EXPECT_FALSE(action("Level4")->isEnabled());
  menu->hide();

  list_->clearSelection();
  rightClick(QPoint(5, viewport->height() - 5));  // below the rows: nothing selected
  EXPECT_FALSE(menu->isVisible());
  dialog_->hide();
}

TEST_F(DlgBlockSizeFixtureTest, UnderAnEnglishLocaleEveryBlockSizeIsOffered) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  scan(dir);
  ASSERT_EQ(list_->topLevelItem(0)->text(6), QStringLiteral("2,048 "));
  ASSERT_TRUE(prepareOn(0));
  for (const char* name : {"N10241", "N20481", "N40961", "N163841", "N327681"}) {
    EXPECT_TRUE(action(name)->isEnabled()) << name;
  }
  EXPECT_FALSE(action("Level7")->isEnabled());
}

TEST_F(DlgBlockSizeFixtureTest, ChangeIsRefusedWhileTheTableIsOpenElsewhere) {
  TempDir dir;
  CopyTable(fixtures::Level4(), dir.Path());
  scan(dir);
  const QStringList before = rowTexts(0);
  engine::TTable holder;
  holder.SetDatabaseName(dir.Path());
  holder.SetTableName("of_cp866.db");
  holder.Open();
  ASSERT_TRUE(prepareOn(0));
  dialogs_.queueMessageResult(tools::mrOk);
  action("N40961")->trigger();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, MsgDlgType::mtError);
  EXPECT_TRUE(dialogs_.messageCalls()[0].text.endsWith(
      QString::fromUtf8("\nTabelle konnte nicht exklusiv geöffnet werden.")));
  EXPECT_EQ(rowTexts(0), before);
  expectIdle();
}

TEST_F(DlgBlockSizeFixtureTest, BlockSizeChangeUpdatesTheRowAndKeepsTheData) {
  TempDir dir;
  const std::string name = fs::path(CopyTable(fixtures::Level4(), dir.Path())).filename().string();
  const auto data = ReadAllCells(dir.Path(), name);
  scan(dir);
  ASSERT_TRUE(prepareOn(0));
  dialogs_.queueMessageResult(tools::mrOk);
  action("N40961")->trigger();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("BlockSize geändert."));
  EXPECT_EQ(dialogs_.messageCalls()[0].type, MsgDlgType::mtInformation);
  // 4090 usable bytes hold 14 records of 277 bytes with 212 bytes spare.
  EXPECT_EQ(rowTexts(0), QStringList({" of_cp866.db", "19 ", "277 ", "14 ", "15 ", "4", "4.096 ",
                                      "917.504 ", "2.197 ", "915.307 ", "0,2 "}));
  expectIdle();
  EXPECT_EQ(ReadAllCells(dir.Path(), name), data);
}

TEST_F(DlgBlockSizeFixtureTest, LevelChangeUpdatesOnlyTheLevelCell) {
  TempDir dir;
  const std::string name = fs::path(CopyTable(fixtures::Level4(), dir.Path())).filename().string();
  const auto data = ReadAllCells(dir.Path(), name);
  scan(dir);
  QStringList expected = rowTexts(0);
  expected[5] = QStringLiteral("7");
  ASSERT_TRUE(prepareOn(0));
  dialogs_.queueMessageResult(tools::mrOk);
  action("Level7")->trigger();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("Level geändert."));
  EXPECT_EQ(rowTexts(0), expected);
  expectIdle();
  EXPECT_EQ(ReadAllCells(dir.Path(), name), data);
  dialog_->ScanDirectory();
  EXPECT_EQ(rowTexts(0), expected);
}

// Answers like ScriptedDialogs and, while a box is up, looks at the window's state.
class ProbingDialogs : public tools::ScriptedDialogs {
 public:
  std::function<void()> probe;
  int MessageDlg(const QString& text, MsgDlgType type, unsigned buttons,
                 const QStringList& captions) override {
    if (probe) probe();
    return ScriptedDialogs::MessageDlg(text, type, buttons, captions);
  }
};

TEST_F(DlgBlockSizeFixtureTest, NoMenuAndNoScanWhileAChangeRuns) {
  TempDir dir;
  CopyTable(fixtures::Level4(), dir.Path());
  scan(dir);
  ProbingDialogs probing;
  tools::ScopedDialogSeam seam(probing);
  bool probed = false;
  probing.probe = [&] {
    probed = true;
    EXPECT_TRUE(dialog_->Changing());
    EXPECT_TRUE(dialog_->Table().Exclusive());
    EXPECT_FALSE(button_->isEnabled());
    EXPECT_FALSE(dialog_->PrepareTableMenu());
    dialog_->ScanDirectory();  // ignored: the change writes to a row of this list
    EXPECT_EQ(list_->topLevelItemCount(), 1);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  };
  ASSERT_TRUE(prepareOn(0));
  probing.queueMessageResult(tools::mrOk);
  action("Level5")->trigger();
  EXPECT_TRUE(probed);
  EXPECT_EQ(list_->topLevelItem(0)->text(5), QStringLiteral("5"));
  expectIdle();
}

TEST_F(DlgBlockSizeFixtureTest, RefusedRestructureKeepsTheRow) {
  TempDir dir;
  CopyTable(fixtures::Level4(), dir.Path());
  scan(dir);
  const QStringList before = rowTexts(0);
  ASSERT_TRUE(prepareOn(0));
  dialogs_.queueMessageResult(tools::mrOk);
  dialog_->ChangeBlockSize(QStringLiteral("16384"));  // level 4 can't have 16 KiB blocks
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, MsgDlgType::mtError);
  EXPECT_TRUE(dialogs_.messageCalls()[0].text.endsWith(
      QString::fromUtf8("\nBlockSize konnte nicht geändert werden.")));
  EXPECT_EQ(rowTexts(0), before);
  expectIdle();
}

// The pixels in `area` of `image` that stand out from its background (its most frequent grey):
// text drawn in it, none where nothing is drawn.
int InkIn(const QImage& image, const QRect& area) {
  const QRect inside = area.intersected(image.rect());
  std::map<int, int> greys;
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) ++greys[qGray(image.pixel(x, y))];
  int background = 0;
  for (const auto& [grey, count] : greys)
    if (count > greys[background]) background = grey;
  int ink = 0;
  for (const auto& [grey, count] : greys)
    if (std::abs(grey - background) > 96) ink += count;
  return ink;
}

TEST_F(DlgBlockSizeFixtureTest, RendersAllColumnsAfterAScan) {
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::Level4(), dir.Path());
  CopyTable(fixtures::BlockSize16K(), dir.Path());
  scan(dir);
  dialog_->show();
  QApplication::processEvents();
  QHeaderView* header = list_->header();
  const QRect lastColumn(header->sectionViewportPosition(10), 0, header->sectionSize(10), 1);
  EXPECT_LE(lastColumn.right(), list_->viewport()->width());

  // The window saved as a picture shows the window: its size, and the last column's caption and
  // every row's figure in that column drawn, not left blank.
  TempDir pictures;
  const QString file = QString::fromStdString(pictures.Path() + "blocksize.png");
  ASSERT_TRUE(dialog_->grab().save(file));
  const QImage image(file);
  ASSERT_FALSE(image.isNull());
  const qreal scale = dialog_->devicePixelRatioF();
  EXPECT_EQ(image.size(), (QSizeF(dialog_->size()) * scale).toSize());
  const auto inPicture = [&](QWidget* widget, const QRect& area) {
    const QRect onWindow(widget->mapTo(dialog_.get(), area.topLeft()), area.size());
    return QRect((QRectF(onWindow).topLeft() * scale).toPoint(), (QSizeF(onWindow.size()) * scale).toSize());
  };
  const QRect caption(header->sectionViewportPosition(10), 0, header->sectionSize(10), header->height());
  EXPECT_GT(InkIn(image, inPicture(header->viewport(), caption)), 0) << "caption of the last column";
  ASSERT_EQ(list_->topLevelItemCount(), 3);
  for (int row = 0; row < 3; ++row) {
    const QRect cell = list_->visualRect(list_->model()->index(row, 10));
    ASSERT_FALSE(cell.isEmpty()) << row;
    EXPECT_GT(InkIn(image, inPicture(list_->viewport(), cell)), 0) << "row " << row;
  }
}

// Lock files of other programs that no one holds: the change waits for the user's answer to a
// question naming them; "No" changes nothing, "Yes" changes the table and no lock file.
TEST_F(DlgBlockSizeFixtureTest, LockFilesOfOtherProgramsAreAskedAbout) {
  TempDir dir;
  const std::string name = fs::path(CopyTable(fixtures::Level4(), dir.Path())).filename().string();
  testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\", 9);
  testsupport::WriteSmallLockFile(dir.Path() + "OF_CP866.LCK");
  scan(dir);
  const QStringList before = rowTexts(0);
  const auto files = testsupport::SnapshotDir(dir.Path());
  ASSERT_TRUE(prepareOn(0));
  dialogs_.queueMessageResult(tools::mrNo);
  action("N40961")->trigger();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  const auto& question = dialogs_.messageCalls()[0];
  EXPECT_EQ(question.type, MsgDlgType::mtConfirmation);
  EXPECT_EQ(question.buttons, unsigned{tools::mbYes | tools::mbNo});
  EXPECT_TRUE(question.text.contains(QString::fromUtf8("PDOXUSRS.LCK (Netzverzeichnis „P:\\“")))
      << question.text.toStdString();
  EXPECT_TRUE(question.text.contains(QStringLiteral("OF_CP866.LCK ("))) << question.text.toStdString();
  EXPECT_FALSE(question.text.contains(QString::fromUtf8(testsupport::kForeignUserName)));
  EXPECT_EQ(rowTexts(0), before);
  EXPECT_TRUE(testsupport::SnapshotDir(dir.Path()) == files);
  expectIdle();

  ASSERT_TRUE(prepareOn(0));
  dialogs_.queueMessageResult(tools::mrYes);
  dialogs_.queueMessageResult(tools::mrOk);
  action("N40961")->trigger();
  ASSERT_EQ(dialogs_.messageCalls().size(), 3u);
  EXPECT_EQ(dialogs_.messageCalls()[2].text, QStringLiteral("BlockSize geändert."));
  EXPECT_EQ(rowTexts(0)[6], QStringLiteral("4.096 "));
  const auto after = testsupport::SnapshotDir(dir.Path());
  EXPECT_TRUE(after.at("PDOXUSRS.LCK") == files.at("PDOXUSRS.LCK"));
  EXPECT_TRUE(after.at("OF_CP866.LCK") == files.at("OF_CP866.LCK"));
  EXPECT_FALSE(after.at(name) == files.at(name));
  expectIdle();
}

// A lock another process holds on the table or on a lock file: no question, the change is
// refused with the engine's message, and nothing changes.
TEST_F(DlgBlockSizeFixtureTest, ALockHeldByAnotherProgramRefusesTheChange) {
  TempDir dir;
  const std::string table = CopyTable(fixtures::Level4(), dir.Path());
  testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\", 9);
  scan(dir);
  const QStringList before = rowTexts(0);
  const auto files = testsupport::SnapshotDir(dir.Path());
  for (const std::string& held : {table, dir.Path() + "PDOXUSRS.LCK"}) {
    SCOPED_TRACE(held);
    testsupport::ForeignLockHolder holder(held, false);
    ASSERT_TRUE(holder.Holding());
    ASSERT_TRUE(prepareOn(0));
    dialogs_.queueMessageResult(tools::mrOk);
    action("Level7")->trigger();
    ASSERT_FALSE(dialogs_.messageCalls().empty());
    const auto& error = dialogs_.messageCalls().back();
    EXPECT_EQ(error.type, MsgDlgType::mtError);
    EXPECT_TRUE(error.text.contains(QStringLiteral("(gesperrt"))) << error.text.toStdString();
    EXPECT_TRUE(error.text.endsWith(QString::fromUtf8("\nLevel konnte nicht geändert werden.")));
    EXPECT_EQ(rowTexts(0), before);
    EXPECT_TRUE(testsupport::SnapshotDir(dir.Path()) == files);
    expectIdle();
  }
  EXPECT_EQ(dialogs_.messageCalls().size(), 2u);
}

}  // namespace

namespace {

// On a screen of 1024 × 768 the whole dialog, frame included, stays on the screen, with the
// list and the status bar below it visible.
TEST_F(DlgBlockSizeTest, FitsTheScreenWithTheListAndTheStatusBarVisible) {
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(room.height(), 768);
  dialog_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
  EXPECT_LE(dialog_->frameGeometry().height(), room.height());
  EXPECT_LE(dialog_->frameGeometry().width(), room.width());
  EXPECT_EQ(dialog_->minimumHeight(), dialog_->height()) << "no smaller than it opens";
  auto* status = dialog_->findChild<QWidget*>(QStringLiteral("StatusBar1"));
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->isVisible());
  EXPECT_LE(status->geometry().bottom(), dialog_->rect().bottom());
  EXPECT_GT(list_->height(), 0);
  EXPECT_LE(list_->mapTo(dialog_.get(), QPoint(0, list_->height())).y(), status->geometry().top());
  dialog_->close();
}

}  // namespace
