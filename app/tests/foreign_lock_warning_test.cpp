// The main window's warning about other programs' lock files when a table goes into edit mode:
// once per opening of the table, none without lock files, and no lock file changes.

#include <QToolButton>

#include <gtest/gtest.h>

#include "app/foreign_lock_warning.h"
#include "app/unit_main.h"
#include "testsupport/dir_snapshot.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/foreign_lock_files.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace {

namespace fixtures = testsupport::fixtures;
using tools::MsgDlgType;

class ForeignLockWarningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    table_ = QString::fromStdString(testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir_.Path()));
  }

  QToolButton* button(const char* name) { return form_.findChild<QToolButton*>(QString::fromLatin1(name)); }
  void open() {
    dialogs_.queueOpenFileName(table_);
    button("ToolButtonOpen")->click();
  }
  void clickEdit() { button("ToolButtonEdit")->click(); }

  tools::ScriptedDialogs dialogs_;
  tools::ScopedDialogSeam seam_{dialogs_};
  testsupport::TempDir dir_;
  QString table_;
  app::TFormMain form_;
};

TEST_F(ForeignLockWarningTest, EditModeWarnsOncePerOpening) {
  testsupport::WriteDirectoryLockFile(dir_.Path(), "P:\\", 3);
  testsupport::WriteSmallLockFile(dir_.Path() + "customer.lck");
  const auto before = testsupport::SnapshotDir(dir_.Path());
  open();
  EXPECT_TRUE(dialogs_.messageCalls().empty());  // reading asks nothing
  dialogs_.queueMessageResult(tools::mrOk);
  clickEdit();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  const auto& warning = dialogs_.messageCalls()[0];
  EXPECT_EQ(warning.type, MsgDlgType::mtWarning);
  EXPECT_TRUE(warning.text.contains(QString::fromUtf8("PDOXUSRS.LCK (Netzverzeichnis „P:\\“")))
      << warning.text.toStdString();
  EXPECT_TRUE(warning.text.contains(QStringLiteral("customer.lck"))) << warning.text.toStdString();
  EXPECT_FALSE(warning.text.contains(QString::fromUtf8(testsupport::kForeignUserName)));
  EXPECT_TRUE(button("ToolButtonEdit")->isChecked());

  clickEdit();  // off
  clickEdit();  // on again: no second box
  EXPECT_EQ(dialogs_.messageCalls().size(), 1u);

  open();
  dialogs_.queueMessageResult(tools::mrOk);
  clickEdit();
  EXPECT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_TRUE(testsupport::SnapshotDir(dir_.Path(), ".~kblock") == before);
}

TEST_F(ForeignLockWarningTest, NoWarningWithoutLockFilesAndTheHeldTableIsNamed) {
  open();
  clickEdit();
  EXPECT_TRUE(dialogs_.messageCalls().empty());

  // A lock another process holds on the .DB alone.
  testsupport::ForeignLockHolder holder(table_.toStdString(), false);
  ASSERT_TRUE(holder.Holding());
  bool warned = false;
  dialogs_.queueMessageResult(tools::mrOk);
  WarnForeignLocksOnce(form_.TTabelle(), &warned);
  EXPECT_TRUE(warned);
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_TRUE(dialogs_.messageCalls()[0].text.contains(QStringLiteral("CUSTOMER.DB (gesperrt")))
      << dialogs_.messageCalls()[0].text.toStdString();
  WarnForeignLocksOnce(form_.TTabelle(), &warned);
  EXPECT_EQ(dialogs_.messageCalls().size(), 1u);
}

}  // namespace
