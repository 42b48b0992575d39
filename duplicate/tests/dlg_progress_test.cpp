// The duplication as the user meets it: the question, the progress dialog with its work, cancel
// and failure, the boxes with their texts, and the source's state afterwards.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "component/bulk_table.h"
#include "component/table.h"
#include "duplicate/duplication_request.h"
#include "duplicate/unit_dlg_progress.h"
#include "io/file_system.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace duplicate {
namespace {

using tools::MsgDlgType;

// Kunden: Nr (key, auto-increment or long), Name with a secondary index, a memo. With long
// memos every record reads the .MB.
void WriteCustomers(const std::string& dir, const std::string& name, const std::vector<int32_t>& numbers,
                    bool autoIncrement = false, bool longMemos = false) {
  engine::TFieldDefs fields;
  fields.Add({"Nr", autoIncrement ? engine::ftAutoInc : engine::ftInteger, 0, false});
  fields.Add({"Name", engine::ftString, 24, false});
  fields.Add({"Notiz", engine::ftMemo, 10, false});
  engine::TIndexDefs indexes;
  indexes.Add({"", "Nr", "", engine::ixPrimary});
  indexes.Add({"Name", "Name", "", engine::ixCaseInsensitive});
  size_t next = 0;
  engine::CreateTableInBulk(engine::DefaultFileSystem(), dir, name, fields, indexes, 0, [&](engine::TBulkRow& row) {
    if (next == numbers.size()) return false;
    const int32_t nr = numbers[next++];
    row.SetInteger(0, nr);
    // Names fall as the numbers rise: the secondary order is the reverse of the primary one.
    row.SetString(1, "Kunde " + std::to_string(100000 - nr));
    row.SetBlob(2, longMemos ? std::string(120, static_cast<char>('a' + nr % 26)) : "kurz");
    return true;
  });
}

std::vector<int32_t> Range(int count) {
  std::vector<int32_t> out;
  for (int i = 1; i <= count; ++i) out.push_back(i);
  return out;
}

// The first field of every record of a table, in primary order; empty when it does not exist.
std::vector<int32_t> Numbers(const std::string& path) {
  if (!std::filesystem::exists(path)) return {};
  engine::TTable t;
  const std::filesystem::path p(path);
  t.SetDatabaseName(p.parent_path().string() + "/");
  t.SetTableName(p.filename().string());
  t.Open();
  std::vector<int32_t> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.Fields(0).AsInteger());
  return out;
}

class DuplicationTest : public ::testing::Test {
 protected:
  void openSource(const std::string& name, engine::FileSystem* fs = nullptr) {
    if (fs != nullptr) source_.SetFileSystem(fs);
    source_.SetDatabaseName(sourceDir_.Path());
    source_.SetTableName(name);
    source_.Open();
  }

  DuplicationSource duplicationSource() {
    DuplicationSource s;
    s.table = &source_;
    s.programDirectory = QString::fromStdString(programDir_.Path());
    s.aroundIndexChange = [this](const std::function<void()>& change) {
      ++indexChanges_;
      change();
    };
    return s;
  }

  // Runs a progress dialog with `action` to its end; returns how long it was open.
  qint64 runDialog(int16_t action, const std::function<void(TDlgProgress&)>& prepare = {}) {
    TDlgProgress dialog(duplicationSource());
    EXPECT_EQ(dialog.ActionCode(), 0);
    EXPECT_TRUE(dialog.LabelProgress->text().isEmpty());
    dialog.SetActionCode(action);
    if (prepare) prepare(dialog);
    QElapsedTimer open;
    open.start();
    dialog.exec();
    const qint64 elapsed = open.elapsed();
    EXPECT_EQ(dialog.ActionCode(), 0);
    EXPECT_FALSE(dialog.Busy());
    return elapsed;
  }

  // Clicks "Abbrechen" when the progress reaches `k`.
  static void cancelAt(TDlgProgress& dialog, int k) {
    QObject::connect(dialog.ProgressBar, &QProgressBar::valueChanged, &dialog, [&dialog, k](int value) {
      if (value == k) dialog.ButtonAbbrechen->click();
    });
  }

  std::string target(const std::string& name) const { return programDir_.Path() + name; }

  const tools::ScriptedDialogs::MessageCall& onlyMessage() {
    EXPECT_EQ(dialogs_.messageCalls().size(), 1u);
    static const tools::ScriptedDialogs::MessageCall none{};
    return dialogs_.messageCalls().empty() ? none : dialogs_.messageCalls().back();
  }

  tools::ScriptedDialogs dialogs_;
  tools::ScopedDialogSeam seam_{dialogs_};
  testsupport::TempDir sourceDir_;
  testsupport::TempDir programDir_;
  engine::TTable source_;
  int indexChanges_ = 0;
};

TEST_F(DuplicationTest, TheQuestionCancelledCreatesNothing) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(3));
  openSource("KUNDEN.DB");
  dialogs_.queueMessageResult(tools::mrCancel);
  ButtonCopyTableClick(duplicationSource(), nullptr);
  ASSERT_EQ(dialogs_.boxCalls().size(), 1u);
  const auto& question = dialogs_.boxCalls()[0];
  EXPECT_EQ(question.text, QStringLiteral("Soll die Tabelle dubliziert werden?"));
  EXPECT_EQ(question.title, QStringLiteral("Bestätigung"));
  EXPECT_EQ(question.captions, (QStringList{"&Inhalt kopieren", "&Nur anlegen", "Abbrechen"}));
  EXPECT_EQ(DlgProgress, nullptr);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_TRUE(std::filesystem::is_empty(programDir_.Path()));
}

TEST_F(DuplicationTest, EscapeAndClosingTheRealQuestionAnswerCancel) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(3));
  openSource("KUNDEN.DB");
  tools::SetDialogs(nullptr);
  for (const bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Esc" : "title bar");
    QTimer::singleShot(50, [escape] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      if (escape) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
      } else {
        box->close();
      }
    });
    ButtonCopyTableClick(duplicationSource(), nullptr);
    EXPECT_EQ(DlgProgress, nullptr);
  }
  tools::SetDialogs(&dialogs_);
  EXPECT_TRUE(std::filesystem::is_empty(programDir_.Path()));
}

TEST_F(DuplicationTest, CreateOnlyMakesAnEmptyDuplicateSilentlyAndCloses) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(5));
  openSource("KUNDEN.DB");
  source_.SetIndexName("Name");
  source_.Last();
  const int row = source_.RecNo();
  dialogs_.queueMessageResult(tools::mrNo);
  QPointer<TDlgProgress> shown;
  QTimer::singleShot(0, [&] { shown = DlgProgress; });
  ButtonCopyTableClick(duplicationSource(), nullptr);
  EXPECT_EQ(DlgProgress, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shown.isNull()) << "the dialog was not released";
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_TRUE(Numbers(target("KUNDEN.DB")).empty());
  EXPECT_TRUE(std::filesystem::exists(target("KUNDEN.DB")));
  // The source was not moved and keeps its order.
  EXPECT_EQ(source_.IndexName(), "Name");
  EXPECT_EQ(source_.RecNo(), row);
  EXPECT_EQ(indexChanges_, 0);
}

TEST_F(DuplicationTest, CreateOnlyClosesAboutATenthOfASecondAfterItsWork) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(2));
  openSource("KUNDEN.DB");
  const qint64 elapsed = runDialog(TDlgProgress::ActionCreateOnly);
  EXPECT_GE(elapsed, TDlgProgress::kCloseDelayMs);
  EXPECT_LT(elapsed, 5000);
}

TEST_F(DuplicationTest, CopyWithContentReportsSuccessAndGivesTheIndexBack) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", {3, 8, 9, 20});
  openSource("KUNDEN.DB");
  source_.SetIndexName("Name");
  dialogs_.queueMessageResult(tools::mrYes);
  dialogs_.queueMessageResult(tools::mrOk);
  ButtonCopyTableClick(duplicationSource(), nullptr);
  const auto& box = onlyMessage();
  EXPECT_EQ(box.text, QStringLiteral("Tabelle nach \"%1KUNDEN.DB\" dubliziert!").arg(QString::fromStdString(programDir_.Path())));
  EXPECT_EQ(box.type, MsgDlgType::mtInformation);
  EXPECT_EQ(box.buttons, static_cast<unsigned>(tools::mbOK));
  EXPECT_EQ(Numbers(target("KUNDEN.DB")), (std::vector<int32_t>{3, 8, 9, 20}));
  EXPECT_EQ(source_.IndexName(), "Name");
  EXPECT_EQ(indexChanges_, 2);
  // The traversal ran in primary order and stopped on its last record.
  EXPECT_EQ(source_.Fields(0).AsInteger(), 20);
}

TEST_F(DuplicationTest, RecordBeingEditedIsPostedBeforeTheCopyMoves) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(3));
  openSource("KUNDEN.DB");
  source_.MoveTo(1);
  source_.Edit();
  source_.Fields(1).SetAsString("Geändert");
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent);
  EXPECT_EQ(source_.State(), engine::TDataSetState::dsBrowse);
  engine::TTable copy;
  copy.SetDatabaseName(programDir_.Path());
  copy.SetTableName("KUNDEN.DB");
  copy.Open();
  copy.MoveTo(1);
  EXPECT_EQ(copy.Fields(1).AsString(), "Geändert");
}

TEST_F(DuplicationTest, EmptySourceWithContentReportsSuccess) {
  WriteCustomers(sourceDir_.Path(), "LEER.DB", {});
  openSource("LEER.DB");
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent);
  EXPECT_EQ(onlyMessage().type, MsgDlgType::mtInformation);
  EXPECT_TRUE(std::filesystem::exists(target("LEER.DB")));
  EXPECT_TRUE(Numbers(target("LEER.DB")).empty());
}

TEST_F(DuplicationTest, CancelConfirmedAtKOfNKeepsKRecordsAndSaysSo) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(10));
  openSource("KUNDEN.DB");
  dialogs_.queueMessageResult(tools::mrYes);  // "Wirklich abbrechen?"
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent, [](TDlgProgress& d) { cancelAt(d, 3); });
  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("Wirklich abbrechen?"));
  EXPECT_EQ(dialogs_.messageCalls()[0].type, MsgDlgType::mtConfirmation);
  EXPECT_EQ(dialogs_.messageCalls()[0].buttons, static_cast<unsigned>(tools::mbYes | tools::mbNo));
  EXPECT_EQ(dialogs_.messageCalls()[1].text, QStringLiteral("Dublizierung nach 3 von 10 Datensätzen abgebrochen!"));
  EXPECT_EQ(dialogs_.messageCalls()[1].type, MsgDlgType::mtWarning);
  EXPECT_EQ(Numbers(target("KUNDEN.DB")), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(DuplicationTest, CancelAnsweredNoGoesOn) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(6));
  openSource("KUNDEN.DB");
  dialogs_.queueMessageResult(tools::mrNo);
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent, [](TDlgProgress& d) { cancelAt(d, 2); });
  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(dialogs_.messageCalls()[1].type, MsgDlgType::mtInformation);
  EXPECT_EQ(Numbers(target("KUNDEN.DB")), Range(6));
}

TEST_F(DuplicationTest, EachRequestStartsAFreshDialog) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(6));
  openSource("KUNDEN.DB");
  // The first request is cancelled at 2 of 6; nothing of it reaches the second one.
  for (int answer : {tools::mrYes, tools::mrYes, tools::mrOk, tools::mrYes, tools::mrOk})
    dialogs_.queueMessageResult(answer);
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&watch] {
    if (DlgProgress == nullptr) return;
    cancelAt(*DlgProgress, 2);
    watch.stop();
  });
  watch.start();
  ButtonCopyTableClick(duplicationSource(), nullptr);
  EXPECT_EQ(Numbers(target("KUNDEN.DB")).size(), 2u);
  ButtonCopyTableClick(duplicationSource(), nullptr);
  ASSERT_EQ(dialogs_.messageCalls().size(), 3u);
  EXPECT_EQ(dialogs_.messageCalls()[1].text, QStringLiteral("Dublizierung nach 2 von 6 Datensätzen abgebrochen!"));
  EXPECT_EQ(dialogs_.messageCalls()[2].type, MsgDlgType::mtInformation);
  EXPECT_EQ(Numbers(target("KUNDEN.DB")), Range(6));
}

TEST_F(DuplicationTest, AutoIncrementValuesWithGapsAreReproduced) {
  WriteCustomers(sourceDir_.Path(), "ZAEHLER.DB", {1, 2, 5}, true);
  openSource("ZAEHLER.DB");
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent);
  EXPECT_EQ(Numbers(target("ZAEHLER.DB")), (std::vector<int32_t>{1, 2, 5}));
  engine::TTable copy;
  copy.SetDatabaseName(programDir_.Path());
  copy.SetTableName("ZAEHLER.DB");
  copy.Open();
  copy.Append();
  copy.Fields(1).SetAsString("neu");
  copy.Post();
  copy.Last();
  EXPECT_EQ(copy.Fields(0).AsInteger(), 6);
}

TEST_F(DuplicationTest, FailureAtRecordKKeepsTheRecordsBeforeAndRestoresTheIndex) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(8), false, true);
  testsupport::FaultFileSystem faults(engine::DefaultFileSystem());
  openSource("KUNDEN.DB", &faults);
  source_.SetIndexName("Name");
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent, [&faults](TDlgProgress& d) {
    QObject::connect(d.ProgressBar, &QProgressBar::valueChanged, &d, [&faults](int value) {
      if (value == 5) faults.FailNth(testsupport::FaultKind::Read, 1);
    });
  });
  EXPECT_TRUE(faults.Fired());
  const auto& box = onlyMessage();
  EXPECT_EQ(box.type, MsgDlgType::mtError);
  EXPECT_FALSE(box.text.isEmpty());
  EXPECT_EQ(Numbers(target("KUNDEN.DB")), Range(4));
  EXPECT_EQ(source_.IndexName(), "Name");
}

TEST_F(DuplicationTest, InvalidActionIsReportedAndCreatesNothing) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(2));
  openSource("KUNDEN.DB");
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(7);
  EXPECT_EQ(onlyMessage().text,
            QStringLiteral("Ungültige Aktion 7!\nWenden Sie sich an Ihren Software-Lieferanten."));
  EXPECT_EQ(onlyMessage().type, MsgDlgType::mtError);
  EXPECT_TRUE(std::filesystem::is_empty(programDir_.Path()));
}

TEST_F(DuplicationTest, SourceInTheProgramDirectoryBecomesCopyAndReplacesAnOldOne) {
  // The source lies in the program directory: Copy2.DB is duplicated as Copy.DB.
  WriteCustomers(programDir_.Path(), "Copy2.DB", {4, 6});
  WriteCustomers(programDir_.Path(), "Copy.DB", {1, 2, 3}, false, true);
  source_.SetDatabaseName(programDir_.Path());
  source_.SetTableName("Copy2.DB");
  source_.Open();
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent);
  EXPECT_EQ(onlyMessage().type, MsgDlgType::mtInformation);
  EXPECT_EQ(Numbers(target("Copy.DB")), (std::vector<int32_t>{4, 6}));
}

TEST_F(DuplicationTest, TheSourceUnderAnotherSpellingIsRefusedUntouched) {
  WriteCustomers(programDir_.Path(), "kunden.db", Range(3));
  source_.SetDatabaseName(programDir_.Path() + "./");
  source_.SetTableName("kunden.db");
  source_.Open();
  // The directory texts differ, so the duplicate would keep the source's name in the program
  // directory: the source itself.
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent);
  EXPECT_EQ(onlyMessage().type, MsgDlgType::mtError);
  EXPECT_NE(onlyMessage().text.indexOf(QStringLiteral("eigenes Duplikat")), -1) << onlyMessage().text.toStdString();
  source_.Close();
  EXPECT_EQ(Numbers(target("kunden.db")), Range(3));
}

TEST_F(DuplicationTest, TargetOpenInThisProgramIsRefusedWithNothingDeleted) {
  WriteCustomers(sourceDir_.Path(), "KUNDEN.DB", Range(3));
  WriteCustomers(programDir_.Path(), "KUNDEN.DB", {42}, false, true);
  const auto family = testsupport::TableFamily(target("KUNDEN.DB"));
  openSource("KUNDEN.DB");
  engine::TTable held;
  held.SetDatabaseName(programDir_.Path());
  held.SetTableName("KUNDEN.DB");
  held.Open();
  dialogs_.queueMessageResult(tools::mrOk);
  runDialog(TDlgProgress::ActionCopyContent);
  EXPECT_EQ(onlyMessage().type, MsgDlgType::mtError);
  held.Close();
  EXPECT_EQ(testsupport::TableFamily(target("KUNDEN.DB")), family);
  EXPECT_EQ(Numbers(target("KUNDEN.DB")), (std::vector<int32_t>{42}));
}

TEST_F(DuplicationTest, TheWindowAsTheUserSeesIt) {
  TDlgProgress dialog(duplicationSource());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Kerbolt"));
  EXPECT_EQ(dialog.minimumSize(), QSize(293, 88));
  EXPECT_EQ(dialog.maximumSize(), QSize(293, 88));
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(dialog.LabelProgress->geometry(), QRect(3, 12, 288, 13));
  EXPECT_EQ(dialog.ProgressBar->geometry(), QRect(9, 34, 275, 16));
  EXPECT_EQ(dialog.ButtonAbbrechen->geometry(), QRect(91, 58, 111, 25));
  EXPECT_EQ(dialog.ButtonAbbrechen->text(), QStringLiteral("Abbrechen"));
  EXPECT_TRUE(dialog.ButtonAbbrechen->isDefault());
  EXPECT_FALSE(dialog.ButtonAbbrechen->icon().isNull());
  EXPECT_FALSE(dialog.Timer1->isActive());
}

TEST_F(DuplicationTest, MinimisingMinimisesTheApplicationAndRestoringBringsTheDialogBack) {
  QWidget mainWindow;
  mainWindow.show();
  TDlgProgress dialog(duplicationSource(), &mainWindow);
  // Shown without a request, the dialog reports the invalid action.
  dialogs_.queueMessageResult(tools::mrOk);
  dialog.show();
  QCoreApplication::processEvents();
  dialog.setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(mainWindow.isMinimized());
  EXPECT_EQ(dialog.SavedWindowState(), Qt::WindowNoState);
  mainWindow.setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(dialog.isMinimized());
  dialog.hide();
}

}  // namespace
}  // namespace duplicate
