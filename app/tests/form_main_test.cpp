#include "app/unit_main.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/icons.h"
#include "app/table_model.h"
#include "app/tests/find_control.h"
#include "component/table.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace {

namespace fixtures = testsupport::fixtures;

QString title() { return QGuiApplication::applicationDisplayName(); }

// The engine's message for opening a table file, taken from a table component of its own.
QString openFailure(const QString& path) {
  const QFileInfo file(path);
  engine::TTable table;
  table.SetDatabaseName(QFile::encodeName(file.absolutePath() + QLatin1Char('/')).toStdString());
  table.SetTableName(QFile::encodeName(file.fileName()).toStdString());
  try {
    table.Open();
  } catch (const engine::EDBEngineError& failure) {
    return QString::fromUtf8(failure.what());
  }
  ADD_FAILURE() << "the engine opened " << path.toStdString();
  return QString();
}

class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override { form_ = std::make_unique<app::TFormMain>(); }

  template <typename Widget>
  Widget* control(const char* name) {
    return app_test::FindControl<Widget>(*form_, name);
  }
  QToolButton* button(const char* name) { return control<QToolButton>(name); }
  QComboBox* indexChoice() { return control<QComboBox>("ComboBoxIndex"); }

  QStringList indexEntries() {
    QStringList entries;
    for (int i = 0; i < indexChoice()->count(); ++i) entries << indexChoice()->itemText(i);
    return entries;
  }

  // Picks an entry of the index choice with the keyboard, as a user does.
  void pickIndexEntry(int entry) {
    QComboBox* combo = indexChoice();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < entry; ++i) QTest::keyClick(combo, Qt::Key_Down);
  }

  // Copies a sample table into the test's folder; returns the copy's path.
  QString copyTable(const std::filesystem::path& sample) {
    return QString::fromStdString(testsupport::CopyTable(sample, dir_.Path()));
  }

  QString writeBrokenTable() {
    const QString path = QString::fromStdString(dir_.Path() + "KAPUTT.DB");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    return path;
  }

  void openThroughDialog(const QString& path) {
    dialogs_.queueOpenFileName(path);
    button("ToolButtonOpen")->click();
  }

  void clickEdit() { button("ToolButtonEdit")->click(); }

  tools::ScriptedDialogs dialogs_;
  tools::ScopedDialogSeam seam_{dialogs_};
  testsupport::TempDir dir_;
  std::unique_ptr<app::TFormMain> form_;
};

struct Availability {
  const char* control;
  bool beforeOpen;
  bool afterOpen;
  bool editModeOn;
};

constexpr Availability kAvailability[] = {
    {"ToolButtonOpen", true, true, true},     {"ButtonBlockCheck", true, true, true},
    {"ButtonRefresh", false, true, true},     {"ToolButtonEdit", false, true, true},
    {"ToolButtonInfo", false, true, true},    {"ButtonMemo", false, true, true},
    {"ButtonRecordCount", false, true, true}, {"ButtonCopyTable", false, true, false},
    {"ComboBoxIndex", true, true, true},      {"EditSuchtext", true, true, true},
    {"SpeedButtonTake1", true, true, true},
};

enum class Column { BeforeOpen, AfterOpen, EditModeOn };

void expectAvailability(app::TFormMain& form, Column column) {
  for (const Availability& row : kAvailability) {
    auto* widget = form.findChild<QWidget*>(QString::fromLatin1(row.control));
    ASSERT_NE(widget, nullptr) << row.control;
    const bool expected = column == Column::BeforeOpen  ? row.beforeOpen
                          : column == Column::AfterOpen ? row.afterOpen
                                                        : row.editModeOn;
    EXPECT_EQ(widget->isEnabled(), expected) << row.control;
  }
}

TEST_F(FormMainTest, StartsWithNoTableAndTheStartAvailability) {
  const QString notice = QString::fromUtf8(app::TFormMain::kMakerNotice);
  EXPECT_TRUE(notice.startsWith(QLatin1Char(' ')));
  EXPECT_EQ(form_->windowTitle(), title() + notice);
  expectAvailability(*form_, Column::BeforeOpen);
  EXPECT_FALSE(form_->TTabelle().Active());
  EXPECT_FALSE(button("ToolButtonEdit")->isChecked());
  EXPECT_FALSE(form_->DSTabelle().autoEdit());
  EXPECT_EQ(indexChoice()->count(), 0);
  EXPECT_TRUE(control<QLineEdit>("EditSuchtext")->text().isEmpty());
  EXPECT_EQ(form_->DSTabelle().rowCount(), 0);
}

TEST_F(FormMainTest, AvailabilityFollowsOpenAndEditMode) {
  SKIP_WITHOUT_FIXTURES();
  const QString table = copyTable(fixtures::BlockSize16K());
  openThroughDialog(table);
  ASSERT_TRUE(form_->TTabelle().Active());
  EXPECT_EQ(form_->windowTitle(), title() + QStringLiteral("   ") + table);
  expectAvailability(*form_, Column::AfterOpen);

  clickEdit();
  expectAvailability(*form_, Column::EditModeOn);
  EXPECT_TRUE(button("ToolButtonEdit")->isChecked());
  EXPECT_TRUE(form_->DSTabelle().autoEdit());

  clickEdit();
  expectAvailability(*form_, Column::AfterOpen);
  EXPECT_FALSE(button("ToolButtonEdit")->isChecked());
  EXPECT_FALSE(form_->DSTabelle().autoEdit());
}

TEST_F(FormMainTest, ToolbarHoldsItsItemsInOrderWithTheirImageListIcons) {
  struct Item {
    const char* name;
    int icon;  // -1: not a button with an image-list icon
  };
  const std::vector<Item> items = {
      {"ToolButtonOpen", app::kIconOpen},      {"ButtonRefresh", app::kIconRefresh},
      {"ToolButtonEdit", app::kIconEdit},      {"ToolButtonInfo", app::kIconInfo},
      {"PanelSearch", -1},                     {"ButtonMemo", app::kIconMemo},
      {"ButtonCopyTable", app::kIconCopy},     {"ButtonRecordCount", app::kIconRecordCount},
      {"ToolButton2", -1},                     {"ButtonBlockCheck", app::kIconBlockSize},
  };
  auto* toolBar = control<QToolBar>("ToolBar");
  ASSERT_NE(toolBar, nullptr);
  QStringList order;
  for (QAction* action : toolBar->actions()) order << toolBar->widgetForAction(action)->objectName();
  QStringList expectedOrder;
  for (const Item& item : items) expectedOrder << QString::fromLatin1(item.name);
  EXPECT_EQ(order, expectedOrder);
  for (const Item& item : items) {
    if (item.icon < 0) continue;
    EXPECT_EQ(button(item.name)->icon().pixmap(16, 16).toImage(),
              app::toolbarPixmap(item.icon).toImage())
        << item.name;
  }
}

TEST(ToolbarIcons, AreEightDistinctSixteenPixelImages) {
  std::vector<QImage> images;
  for (int i = 0; i < app::kToolbarIconCount; ++i) {
    const QPixmap pixmap = app::toolbarPixmap(i);
    ASSERT_FALSE(pixmap.isNull()) << i;
    EXPECT_EQ(pixmap.size(), QSize(16, 16)) << i;
    for (const QImage& other : images) EXPECT_NE(pixmap.toImage(), other) << i;
    images.push_back(pixmap.toImage());
  }
  EXPECT_TRUE(app::toolbarPixmap(app::kToolbarIconCount).isNull());
}

TEST_F(FormMainTest, AltOMovesTheFocusToTheIndexChoice) {
  form_->show();
  QApplication::setActiveWindow(form_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  control<QLineEdit>("EditSuchtext")->setFocus();
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), indexChoice());
}

TEST_F(FormMainTest, OpenDialogStartsInTheProgramDirectoryWithTheTablesFilter) {
  EXPECT_EQ(form_->ProgramDirectory(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
  openThroughDialog(QString());
  ASSERT_EQ(dialogs_.openFileCalls().size(), 1u);
  const auto& call = dialogs_.openFileCalls()[0];
  EXPECT_EQ(call.parent, form_.get());
  EXPECT_EQ(call.title, title());
  EXPECT_EQ(call.dir, form_->ProgramDirectory());
  EXPECT_EQ(call.filter, QStringLiteral("Datenbanken (*.db)"));
  EXPECT_EQ(call.defaultSuffix, QStringLiteral("db"));
}

TEST_F(FormMainTest, IndexChoiceListsThePrimaryIndexThenTheSecondaryIndexes) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    std::filesystem::path table;
    QStringList entries;
  };
  const std::vector<Case> cases = {
      {fixtures::BlockSize16K(), {"Primärindex", "ste"}},
      {fixtures::KeyedWithBlobs(), {"Primärindex", "City"}},
      {fixtures::Unkeyed(), {"Primärindex"}},  // no key: stored order
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table.filename().string());
    openThroughDialog(copyTable(c.table));
    ASSERT_TRUE(form_->TTabelle().Active());
    EXPECT_EQ(indexEntries(), c.entries);
    EXPECT_EQ(indexChoice()->currentIndex(), 0);
    EXPECT_EQ(form_->TTabelle().IndexName(), "");
    EXPECT_EQ(form_->DSTabelle().rowCount(), form_->TTabelle().RecordCount());
  }
}

TEST_F(FormMainTest, PickingAnIndexSetsTheIndexNameAndLeavesSearchTextAndEditMode) {
  SKIP_WITHOUT_FIXTURES();
  openThroughDialog(copyTable(fixtures::BlockSize16K()));
  control<QLineEdit>("EditSuchtext")->setText(QStringLiteral("NJ"));
  clickEdit();

  pickIndexEntry(1);
  EXPECT_EQ(form_->TTabelle().IndexName(), "ste");
  EXPECT_EQ(control<QLineEdit>("EditSuchtext")->text(), QStringLiteral("NJ"));
  EXPECT_TRUE(button("ToolButtonEdit")->isChecked());
  auto* grid = control<QTableView>("DBGrid");
  EXPECT_EQ(grid->currentIndex().row(), form_->TTabelle().RecNo());

  pickIndexEntry(0);
  EXPECT_EQ(form_->TTabelle().IndexName(), "");

  // Selecting from program code is not a pick.
  indexChoice()->setCurrentIndex(1);
  EXPECT_EQ(form_->TTabelle().IndexName(), "");
}

TEST_F(FormMainTest, CancellingTheOpenDialogChangesNothing) {
  SKIP_WITHOUT_FIXTURES();
  const QString table = copyTable(fixtures::BlockSize16K());
  openThroughDialog(table);
  pickIndexEntry(1);
  clickEdit();
  const QString caption = form_->windowTitle();

  openThroughDialog(QString());
  EXPECT_TRUE(form_->TTabelle().Active());
  EXPECT_EQ(form_->TTabelle().TableName(), "AREACODES.DB");
  EXPECT_EQ(form_->TTabelle().IndexName(), "ste");
  EXPECT_EQ(form_->windowTitle(), caption);
  EXPECT_EQ(indexEntries(), (QStringList{"Primärindex", "ste"}));
  EXPECT_EQ(indexChoice()->currentIndex(), 1);
  EXPECT_TRUE(button("ToolButtonEdit")->isChecked());
  expectAvailability(*form_, Column::EditModeOn);
}

TEST_F(FormMainTest, FailedFirstOpenShowsTheEngineMessageAndLeavesTheStartState) {
  SKIP_WITHOUT_FIXTURES();
  const QString broken = writeBrokenTable();
  dialogs_.queueMessageResult(tools::mrOk);
  openThroughDialog(broken);
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, openFailure(broken));
  EXPECT_FALSE(dialogs_.messageCalls()[0].text.isEmpty());
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtError);
  EXPECT_EQ(dialogs_.messageCalls()[0].buttons, unsigned(tools::mbOK));
  EXPECT_FALSE(form_->TTabelle().Active());
  EXPECT_EQ(indexChoice()->count(), 0);
  // The copy button too stays off: no table has been opened yet.
  expectAvailability(*form_, Column::BeforeOpen);
}

// A table whose block chain is damaged opens in the engine at once (or, where the damage lies
// at the first block, fails to), but the program walks the whole chain when it opens a table:
// the damage is reported then, and the table stays closed.
TEST_F(FormMainTest, TableWithADamagedChainIsRefusedAtOpenAndLeftClosed) {
  SKIP_WITHOUT_FIXTURES();
  struct Damage {
    const char* name;
    qint64 at;
    QByteArray bytes;
    const char* cause;
  };
  const Damage damages[] = {
      // block 2 of the unkeyed sample (2 KiB header and blocks) follows itself
      {"Schleife", 2048 + 2048, QByteArray("\x02\x00", 2), "Schleife"},
      // the header's first block lies beyond the file
      {"erster Block", 0x0E, QByteArray("\x28\x00", 2), "außerhalb der Datei"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    const QString path = copyTable(fixtures::Unkeyed());
    {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::ReadWrite));
      ASSERT_TRUE(file.seek(damage.at));
      file.write(damage.bytes);
    }
    const size_t before = dialogs_.messageCalls().size();
    dialogs_.queueMessageResult(tools::mrOk);
    openThroughDialog(path);
    ASSERT_EQ(dialogs_.messageCalls().size(), before + 1);
    const QString text = dialogs_.messageCalls()[before].text;
    EXPECT_TRUE(text.contains(QString::fromUtf8(damage.cause))) << text.toStdString();
    EXPECT_EQ(dialogs_.messageCalls()[before].type, tools::MsgDlgType::mtError);
    EXPECT_FALSE(form_->TTabelle().Active());
    expectAvailability(*form_, Column::BeforeOpen);
  }
}

// A protected table asks for its password: right at once, wrong then right (the second ask
// says the first was wrong), or Abbrechen, which ends the open without a message. The password
// is kept in the open table only and goes when another table is opened.
TEST_F(FormMainTest, ProtectedTableAsksForItsPassword) {
  SKIP_WITHOUT_FIXTURES();
  const QString table = copyTable(fixtures::PasswordProtected());
  const QString prompt = QString::fromUtf8("Kennwort für Tabelle „encrypted.db“:");
  dialogs_.queuePassword(QStringLiteral("123"));
  openThroughDialog(table);
  ASSERT_EQ(dialogs_.passwordCalls().size(), 1u);
  EXPECT_EQ(dialogs_.passwordCalls()[0].prompt, prompt);
  ASSERT_TRUE(form_->TTabelle().Active());
  EXPECT_EQ(form_->TTabelle().RecordCount(), 4);
  EXPECT_EQ(form_->TTabelle().FieldByName("Text").AsString(), "Value 1");
  expectAvailability(*form_, Column::AfterOpen);

  dialogs_.queuePassword(QStringLiteral("124"));
  dialogs_.queuePassword(QStringLiteral("123"));
  openThroughDialog(table);
  ASSERT_EQ(dialogs_.passwordCalls().size(), 3u);
  EXPECT_EQ(dialogs_.passwordCalls()[1].prompt, prompt);
  EXPECT_EQ(dialogs_.passwordCalls()[2].prompt, QString::fromUtf8("Das Kennwort ist falsch.\n") + prompt);
  EXPECT_TRUE(form_->TTabelle().Active());

  openThroughDialog(copyTable(fixtures::BlockSize16K()));
  EXPECT_TRUE(form_->TTabelle().Active());
  EXPECT_EQ(form_->TTabelle().Password(), "");

  dialogs_.queuePassword(QStringLiteral("falsch"));
  dialogs_.queuePasswordCancel();
  openThroughDialog(table);
  EXPECT_EQ(dialogs_.passwordCalls().size(), 5u);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_FALSE(form_->TTabelle().Active());
  EXPECT_EQ(form_->TTabelle().Password(), "");
}

TEST_F(FormMainTest, FailedLaterOpenKeepsButtonsAndIndexListWithTheTableClosed) {
  SKIP_WITHOUT_FIXTURES();
  openThroughDialog(copyTable(fixtures::BlockSize16K()));
  const QString broken = writeBrokenTable();
  dialogs_.queueMessageResult(tools::mrOk);
  openThroughDialog(broken);
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, openFailure(broken));
  EXPECT_EQ(form_->windowTitle(), title() + QStringLiteral("   ") + broken);
  EXPECT_FALSE(form_->TTabelle().Active());
  EXPECT_EQ(form_->DSTabelle().rowCount(), 0);
  EXPECT_EQ(indexEntries(), (QStringList{"Primärindex", "ste"}));
  expectAvailability(*form_, Column::AfterOpen);

  // Refresh of the closed table is refused with the table component's own message.
  dialogs_.queueMessageResult(tools::mrOk);
  button("ButtonRefresh")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(dialogs_.messageCalls()[1].type, tools::MsgDlgType::mtError);
  EXPECT_FALSE(dialogs_.messageCalls()[1].text.isEmpty());

  // Without an open table the edit button springs back up.
  clickEdit();
  EXPECT_FALSE(button("ToolButtonEdit")->isChecked());
  EXPECT_FALSE(form_->DSTabelle().autoEdit());
  EXPECT_TRUE(button("ButtonCopyTable")->isEnabled());
}

TEST_F(FormMainTest, OpeningAgainSwitchesEditModeOffAndResetsTheIndex) {
  SKIP_WITHOUT_FIXTURES();
  const QString table = copyTable(fixtures::BlockSize16K());
  openThroughDialog(table);
  pickIndexEntry(1);
  clickEdit();
  ASSERT_TRUE(form_->DSTabelle().autoEdit());

  openThroughDialog(table);
  EXPECT_TRUE(form_->TTabelle().Active());
  EXPECT_FALSE(button("ToolButtonEdit")->isChecked());
  EXPECT_FALSE(form_->DSTabelle().autoEdit());
  EXPECT_TRUE(button("ButtonCopyTable")->isEnabled());
  EXPECT_EQ(form_->TTabelle().IndexName(), "");
  EXPECT_EQ(indexChoice()->currentIndex(), 0);
}

TEST_F(FormMainTest, GridCurrentRowIsTheTablesCurrentRecord) {
  SKIP_WITHOUT_FIXTURES();
  openThroughDialog(copyTable(fixtures::BlockSize16K()));
  auto* grid = control<QTableView>("DBGrid");
  EXPECT_EQ(grid->currentIndex().row(), 0);
  grid->setCurrentIndex(form_->DSTabelle().index(5, 1));
  EXPECT_EQ(form_->TTabelle().RecNo(), 5);
  EXPECT_EQ(QString::fromStdString(form_->TTabelle().FieldByName("AC").AsString()),
            form_->DSTabelle().index(5, 0).data().toString());

  button("ButtonRefresh")->click();
  EXPECT_EQ(grid->currentIndex().row(), form_->TTabelle().RecNo());
}

TEST_F(FormMainTest, ColumnWidthsSurviveRefreshAndIndexChange) {
  SKIP_WITHOUT_FIXTURES();
  openThroughDialog(copyTable(fixtures::BlockSize16K()));
  auto* grid = control<QTableView>("DBGrid");
  grid->setColumnWidth(2, 250);
  button("ButtonRefresh")->click();
  EXPECT_EQ(grid->columnWidth(2), 250);
  pickIndexEntry(1);
  EXPECT_EQ(grid->columnWidth(2), 250);
}

TEST_F(FormMainTest, ClosingTheWindowDiscardsAnUnpostedEditWithoutAsking) {
  SKIP_WITHOUT_FIXTURES();
  const QString path = copyTable(fixtures::BlockSize16K());
  openThroughDialog(path);
  engine::TTable& table = form_->TTabelle();
  table.First();
  const std::string before = table.FieldByName("State").AsString();
  table.Edit();
  table.FieldByName("State").SetAsString("ZZ");
  form_->show();
  form_->close();
  EXPECT_FALSE(table.Active());
  EXPECT_TRUE(dialogs_.messageCalls().empty());

  engine::TTable reread;
  reread.SetDatabaseName(dir_.Path());
  reread.SetTableName("AREACODES.DB");
  reread.Open();
  reread.First();
  EXPECT_EQ(reread.FieldByName("State").AsString(), before);
}

}  // namespace
