// The record commands and editing keys of the main window on PERSONEN.DB.

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "app/tests/browse_fixture.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"

namespace {

using RecordCommands = app_test::BrowseTest;

TEST_F(RecordCommands, FKeysWithAModifierDoNothing) {
  openStandardPersonen();
  showActive();
  grid()->setFocus();
  press(Qt::Key_F7, Qt::ShiftModifier);
  press(Qt::Key_F8, Qt::AltModifier);
  table().Edit();
  table().FieldByName("Vorname").SetAsString("Berta");
  press(Qt::Key_F2, Qt::ControlModifier);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_EQ(table().RecordCount(), 4);
  EXPECT_FALSE(form_->editMode());
  EXPECT_EQ(table().State(), engine::TDataSetState::dsEdit);

  // Without a modifier F2 posts the edit begun before.
  press(Qt::Key_F2);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(current("Vorname"), "Berta");
  // F2 with nothing to post does nothing and says nothing.
  press(Qt::Key_F2);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
}

TEST_F(RecordCommands, F8SwitchesEditModeOnOnlyAndTheButtonSwitchesItBothWays) {
  openStandardPersonen();
  showActive();
  QSignalSpy changes(form_.get(), &app::TFormMain::editModeChanged);
  grid()->setFocus();
  press(Qt::Key_F8);
  press(Qt::Key_F8);
  EXPECT_TRUE(form_->editMode());
  EXPECT_TRUE(button("ToolButtonEdit")->isChecked());
  EXPECT_TRUE(form_->DSTabelle().autoEdit());
  EXPECT_FALSE(button("ButtonCopyTable")->isEnabled());
  ASSERT_EQ(changes.count(), 1);
  EXPECT_TRUE(changes[0][0].toBool());

  button("ToolButtonEdit")->click();
  EXPECT_FALSE(form_->editMode());
  EXPECT_TRUE(button("ButtonCopyTable")->isEnabled());
  ASSERT_EQ(changes.count(), 2);
  EXPECT_FALSE(changes[1][0].toBool());
}

TEST_F(RecordCommands, WithoutATableTheFKeysDoNothing) {
  showActive();
  grid()->setFocus();
  for (Qt::Key key : {Qt::Key_F2, Qt::Key_F5, Qt::Key_F7, Qt::Key_F8}) press(key);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_FALSE(form_->editMode());
}

struct Answers {
  int first;
  int second;  // mrNone: the second question is not asked
  bool deletes;
};

TEST_F(RecordCommands, F7DeletesOnlyAfterYesAndThenNo) {
  openStandardPersonen();
  showActive();
  const std::vector<Answers> cases = {
      {tools::mrNo, tools::mrNone, false},
      {tools::mrCancel, tools::mrNone, false},
      {tools::mrYes, tools::mrYes, false},
      {tools::mrYes, tools::mrCancel, false},
      {tools::mrYes, tools::mrNo, true},
  };
  int records = table().RecordCount();
  for (const Answers& a : cases) {
    table().MoveTo(1);
    const std::string vorname = current("Vorname");
    const size_t asked = dialogs_.messageCalls().size();
    dialogs_.queueMessageResult(a.first);
    if (a.second != tools::mrNone) dialogs_.queueMessageResult(a.second);
    // The focus in the search text does not matter: F7 deletes the grid's current record.
    searchText()->setFocus();
    press(Qt::Key_F7);
    const auto& calls = dialogs_.messageCalls();
    ASSERT_EQ(calls.size(), asked + (a.second != tools::mrNone ? 2 : 1));
    EXPECT_EQ(calls[asked].text, QStringLiteral("Den Datensatz wirklich löschen?"));
    EXPECT_EQ(calls[asked].type, tools::MsgDlgType::mtConfirmation);
    EXPECT_EQ(calls[asked].buttons, unsigned(tools::mbYes | tools::mbNo));
    if (a.second != tools::mrNone) {
      EXPECT_EQ(calls[asked + 1].text, QStringLiteral("Nicht anders überlegt?"));
      EXPECT_EQ(calls[asked + 1].buttons, unsigned(tools::mbYes | tools::mbNo));
    }
    if (a.deletes) --records;
    EXPECT_EQ(table().RecordCount(), records);
    EXPECT_EQ(form_->DSTabelle().rowCount(), records);
    EXPECT_EQ(current("Vorname") == vorname, !a.deletes);
  }
  EXPECT_EQ(form_->editMode(), false) << "F7 works in view mode";
}

TEST_F(RecordCommands, CtrlDelDeletesAfterTheGridsOneConfirmation) {
  openStandardPersonen();
  showActive();
  grid()->setFocus();
  dialogs_.queueMessageResult(tools::mrCancel);
  press(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(table().RecordCount(), 4);
  dialogs_.queueMessageResult(tools::mrOk);
  press(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(table().RecordCount(), 3);
  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("Datensatz löschen?"));
  EXPECT_EQ(dialogs_.messageCalls()[0].buttons, unsigned(tools::mbOK | tools::mbCancel));
}

TEST_F(RecordCommands, WithEditModeOffTheGridInsertsNothingAndSaysNothing) {
  openStandardPersonen();
  showActive();
  grid()->setFocus();
  grid()->setCurrentIndex(form_->DSTabelle().index(3, 0));
  press(Qt::Key_Insert);
  press(Qt::Key_Down);
  EXPECT_EQ(form_->DSTabelle().rowCount(), 4);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  // Typing in a cell does not open an editor.
  EXPECT_FALSE(form_->DSTabelle().flags(grid()->currentIndex()) & Qt::ItemIsEditable);
}

TEST_F(RecordCommands, ArrowDownOnTheLastRowAppendsInEditModeAndEscUndoesIt) {
  openStandardPersonen();
  showActive();
  button("ToolButtonEdit")->click();
  grid()->setFocus();
  grid()->setCurrentIndex(form_->DSTabelle().index(3, 0));
  press(Qt::Key_Down);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsInsert);
  EXPECT_EQ(form_->DSTabelle().rowCount(), 5);
  EXPECT_EQ(grid()->currentIndex().row(), 4);
  // A second arrow down on the empty new row adds no other.
  press(Qt::Key_Down);
  EXPECT_EQ(form_->DSTabelle().rowCount(), 5);

  press(Qt::Key_Escape);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(form_->DSTabelle().rowCount(), 4);
  EXPECT_EQ(table().RecNo(), 3);
  EXPECT_EQ(QApplication::focusWidget(), searchText());
  EXPECT_EQ(table().RecordCount(), 4);
}

TEST_F(RecordCommands, AnInsertedRecordIsPostedByMovingAwayAndTheRowFollowsIt) {
  openStandardPersonen();
  showActive();
  button("ToolButtonEdit")->click();
  grid()->setFocus();
  press(Qt::Key_Insert);
  ASSERT_EQ(table().State(), engine::TDataSetState::dsInsert);
  const int newRow = form_->DSTabelle().rowCount() - 1;
  typeIntoCell(newRow, 0, QStringLiteral("Fischer"));
  typeIntoCell(newRow, 1, QStringLiteral("Otto"));
  ASSERT_EQ(table().State(), engine::TDataSetState::dsInsert);
  grid()->setCurrentIndex(form_->DSTabelle().index(0, 0));
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(table().RecordCount(), 5);
  EXPECT_EQ(current("Name"), "Becker");
  EXPECT_EQ(grid()->currentIndex().row(), 0);
  EXPECT_EQ(form_->DSTabelle().index(1, 0).data().toString(), QStringLiteral("Fischer"));

  // F2 keeps the posted record current, at its place in key order.
  press(Qt::Key_Insert);
  typeIntoCell(form_->DSTabelle().rowCount() - 1, 0, QStringLiteral("Lang"));
  grid()->setFocus();
  press(Qt::Key_F2);
  EXPECT_EQ(current("Name"), "Lang");
  EXPECT_EQ(table().RecNo(), 2);
  EXPECT_EQ(grid()->currentIndex().row(), 2);
  EXPECT_EQ(form_->DSTabelle().rowCount(), 6);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
}

TEST_F(RecordCommands, ARefusedPostShowsTheEngineMessageAndKeepsTheRecordInEditing) {
  openStandardPersonen();
  showActive();
  button("ToolButtonEdit")->click();
  grid()->setFocus();
  press(Qt::Key_Insert);
  const int newRow = form_->DSTabelle().rowCount() - 1;
  typeIntoCell(newRow, 0, QStringLiteral("Meier"));
  typeIntoCell(newRow, 1, QStringLiteral("Hans"));  // the key of a stored record
  dialogs_.queueMessageResult(tools::mrOk);
  grid()->setFocus();
  press(Qt::Key_F2);
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtError);
  EXPECT_FALSE(dialogs_.messageCalls()[0].text.isEmpty());
  EXPECT_EQ(table().State(), engine::TDataSetState::dsInsert);
  EXPECT_EQ(table().RecordCount(), 4);

  // Moving to another row is refused the same way; the grid stays on the new record.
  dialogs_.queueMessageResult(tools::mrOk);
  grid()->setCurrentIndex(form_->DSTabelle().index(0, 0));
  EXPECT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsInsert);
  EXPECT_EQ(grid()->currentIndex().row(), newRow);

  // A value the field cannot hold is refused at once and the record stays in editing.
  dialogs_.queueMessageResult(tools::mrOk);
  typeIntoCell(newRow, 2, QStringLiteral("kein Datum"));
  EXPECT_EQ(dialogs_.messageCalls().size(), 3u);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsInsert);

  typeIntoCell(newRow, 1, QStringLiteral("Heinz"));
  press(Qt::Key_F2);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(table().RecordCount(), 5);
  EXPECT_EQ(current("Vorname"), "Heinz");
}

TEST_F(RecordCommands, EscUndoesAGridEditAndThenFocusesTheSearchText) {
  openStandardPersonen();
  showActive();
  button("ToolButtonEdit")->click();
  typeIntoCell(0, 1, QStringLiteral("Berta"));
  ASSERT_EQ(table().State(), engine::TDataSetState::dsEdit);
  EXPECT_EQ(form_->DSTabelle().index(0, 1).data().toString(), QStringLiteral("Berta"));
  grid()->setFocus();
  press(Qt::Key_Escape);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(current("Vorname"), "Anna");
  EXPECT_EQ(form_->DSTabelle().index(0, 1).data().toString(), QStringLiteral("Anna"));
  EXPECT_EQ(QApplication::focusWidget(), searchText());

  // Esc in an open cell editor drops the typed text as well.
  grid()->setFocus();
  grid()->setCurrentIndex(form_->DSTabelle().index(0, 1));
  grid()->edit(grid()->currentIndex());
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Xaver"));
  press(Qt::Key_Escape);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(current("Vorname"), "Anna");
}

TEST_F(RecordCommands, TheRecordCountBoxGivesTheCountWithoutGrouping) {
  openPersonen({});
  dialogs_.queueMessageResult(tools::mrOk);
  button("ButtonRecordCount")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("0 Datensätze."));
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtInformation);
  EXPECT_EQ(dialogs_.messageCalls()[0].buttons, unsigned(tools::mbOK));

  if (!testsupport::fixtures::Available()) return;
  dialogs_.queueOpenFileName(QString::fromStdString(
      testsupport::CopyTable(testsupport::fixtures::Level4(), dir_.Path())));
  button("ToolButtonOpen")->click();
  ASSERT_EQ(table().RecordCount(), 2197);
  dialogs_.queueMessageResult(tools::mrOk);
  button("ButtonRecordCount")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(dialogs_.messageCalls()[1].text, QStringLiteral("2197 Datensätze."));
}

}  // namespace
