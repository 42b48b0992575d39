// The main window's "Tabelle dublizieren": the button starts the duplication of the open table,
// and the grid and the index choice show the table as before afterwards.

#include <QComboBox>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/unit_main.h"
#include "component/table.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace {

namespace fs = std::filesystem;

class CopyTableButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    form_ = std::make_unique<app::TFormMain>();
    // A name of its own: the duplicate lands in the program directory, next to the tests, which
    // may run side by side.
    const std::string copied =
        testsupport::CopyTable(testsupport::fixtures::KeyedWithBlobs(), dir_.Path(), stem_);
    dialogs_.queueOpenFileName(QString::fromStdString(copied));
    button("ToolButtonOpen")->click();
    ASSERT_TRUE(form_->TTabelle().Active());
  }
  void TearDown() override {
    if (!form_) return;
    for (const fs::path& file : testsupport::TableFamily(duplicatePath())) fs::remove(file);
  }

  std::string duplicatePath() const { return form_->ProgramDirectory().toStdString() + stem_ + ".DB"; }

  QToolButton* button(const char* name) { return form_->findChild<QToolButton*>(QString::fromLatin1(name)); }
  QComboBox* indexChoice() { return form_->findChild<QComboBox*>(QStringLiteral("ComboBoxIndex")); }

  const std::string stem_ = "DUP" + std::to_string(::getpid());
  tools::ScriptedDialogs dialogs_;
  tools::ScopedDialogSeam seam_{dialogs_};
  testsupport::TempDir dir_;
  std::unique_ptr<app::TFormMain> form_;
};

TEST_F(CopyTableButtonTest, CancelledQuestionLeavesEverythingAsItWas) {
  dialogs_.queueMessageResult(tools::mrCancel);
  button("ButtonCopyTable")->click();
  ASSERT_EQ(dialogs_.boxCalls().size(), 1u);
  EXPECT_EQ(dialogs_.boxCalls()[0].text, QStringLiteral("Soll die Tabelle dubliziert werden?"));
  EXPECT_FALSE(fs::exists(duplicatePath()));
}

TEST_F(CopyTableButtonTest, CopyInASecondaryOrderShowsThatOrderAgainAfterwards) {
  indexChoice()->setCurrentIndex(1);
  emit indexChoice()->activated(1);
  const std::string index = form_->TTabelle().IndexName();
  ASSERT_FALSE(index.empty());
  dialogs_.queueMessageResult(tools::mrYes);
  dialogs_.queueMessageResult(tools::mrOk);
  button("ButtonCopyTable")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtInformation);
  EXPECT_EQ(form_->TTabelle().IndexName(), index);
  EXPECT_EQ(indexChoice()->currentIndex(), 1);
  auto* grid = form_->findChild<QTableView*>(QStringLiteral("DBGrid"));
  EXPECT_EQ(grid->model()->rowCount(), form_->TTabelle().RecordCount());
  EXPECT_EQ(grid->currentIndex().row(), form_->TTabelle().RecNo());

  engine::TTable copy;
  copy.SetDatabaseName(form_->ProgramDirectory().toStdString());
  copy.SetTableName(stem_ + ".DB");
  copy.Open();
  EXPECT_EQ(copy.RecordCount(), form_->TTabelle().RecordCount());
}

}  // namespace
