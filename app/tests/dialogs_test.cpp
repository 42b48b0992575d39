// The real dialog seam (Qt message box and file dialog) and the scripted seam of the tests.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <QTimer>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/tests/modal.h"
#include "testsupport/temp_dir.h"
#include "tools/dialogs.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace {

using tools::MsgDlgType;

enum class Action { Enter, Escape, CloseWindow, ClickFirst, ClickLast };

struct MessageCase {
  const char* name;
  MsgDlgType type;
  unsigned buttons;
  QStringList captions;
  QString title;  // empty: the application title
  QMessageBox::Icon icon;
  QStringList shownCaptions;  // left to right
  std::vector<Action> actions;
  int result;
};

std::vector<QAbstractButton*> buttonsLeftToRight(QMessageBox* box) {
  std::vector<QAbstractButton*> buttons;
  for (QAbstractButton* button : box->buttons()) {
    if (button->isVisible()) buttons.push_back(button);
  }
  std::sort(buttons.begin(), buttons.end(), [box](QAbstractButton* a, QAbstractButton* b) {
    return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
  });
  return buttons;
}

void perform(QMessageBox* box, Action action) {
  QWidget* focus = box->focusWidget() != nullptr ? box->focusWidget() : box;
  switch (action) {
    case Action::Enter: QTest::keyClick(focus, Qt::Key_Return); break;
    case Action::Escape: QTest::keyClick(focus, Qt::Key_Escape); break;
    case Action::CloseWindow: box->close(); break;
    case Action::ClickFirst: buttonsLeftToRight(box).front()->click(); break;
    case Action::ClickLast: buttonsLeftToRight(box).back()->click(); break;
  }
}

TEST(QtMessageBox, ShowsTitleIconAndButtonsAndAnswersKeysAsTheStandardBox) {
  using namespace tools;
  const QStringList allStandard = {
      "&Ja", "&Nein", "OK", "Abbrechen", "&Abbrechen", "&Wiederholen", "&Ignorieren", "&Alle",
      "&Nein für alle", "&Ja für alle", "&Hilfe"};
  const std::vector<MessageCase> cases = {
      {"warning OK, Enter", MsgDlgType::mtWarning, mbOK, {}, "Warnung", QMessageBox::Warning,
       {"OK"}, {Action::Enter}, mrOk},
      {"error OK, Esc presses OK", MsgDlgType::mtError, mbOK, {}, "Fehler",
       QMessageBox::Critical, {"OK"}, {Action::Escape}, mrOk},
      {"information OK/Cancel, Esc", MsgDlgType::mtInformation, mbOK | mbCancel, {},
       "Information", QMessageBox::Information, {"OK", "Abbrechen"}, {Action::Escape}, mrCancel},
      {"OK/Cancel, Enter presses OK", MsgDlgType::mtInformation, mbOK | mbCancel, {},
       "Information", QMessageBox::Information, {"OK", "Abbrechen"}, {Action::Enter}, mrOk},
      {"Yes/No, Enter presses Yes", MsgDlgType::mtConfirmation, mbYes | mbNo, {}, "Bestätigung",
       QMessageBox::Question, {"&Ja", "&Nein"}, {Action::Enter}, mrYes},
      {"Yes/No, Esc presses No", MsgDlgType::mtConfirmation, mbYes | mbNo, {}, "Bestätigung",
       QMessageBox::Question, {"&Ja", "&Nein"}, {Action::Escape}, mrNo},
      {"Yes/No, title-bar close answers Cancel", MsgDlgType::mtConfirmation, mbYes | mbNo, {},
       "Bestätigung", QMessageBox::Question, {"&Ja", "&Nein"}, {Action::CloseWindow}, mrCancel},
      {"own captions, empty keeps the standard one", MsgDlgType::mtConfirmation,
       mbYes | mbNo | mbCancel, {"&Inhalt kopieren", "&Nur anlegen", ""}, "Bestätigung",
       QMessageBox::Question, {"&Inhalt kopieren", "&Nur anlegen", "Abbrechen"},
       {Action::Escape}, mrCancel},
      {"own captions beyond the buttons are ignored", MsgDlgType::mtConfirmation, mbYes | mbNo,
       {"&Weiter", "", "zu viel"}, "Bestätigung", QMessageBox::Question, {"&Weiter", "&Nein"},
       {Action::ClickFirst}, mrYes},
      {"Abort/Retry/Ignore: Enter presses Retry", MsgDlgType::mtWarning,
       mbAbort | mbRetry | mbIgnore, {}, "Warnung", QMessageBox::Warning,
       {"&Abbrechen", "&Wiederholen", "&Ignorieren"}, {Action::Enter}, mrRetry},
      {"Abort/Retry/Ignore: Esc does nothing", MsgDlgType::mtWarning,
       mbAbort | mbRetry | mbIgnore, {}, "Warnung", QMessageBox::Warning,
       {"&Abbrechen", "&Wiederholen", "&Ignorieren"}, {Action::Escape, Action::ClickLast},
       mrIgnore},
      {"custom box, every button in set order", MsgDlgType::mtCustom, 0x7FF, {}, QString(),
       QMessageBox::NoIcon, allStandard, {Action::ClickFirst}, mrYes},
      {"Yes-to-all answers 10", MsgDlgType::mtCustom, mbYes | mbNo | mbYesToAll, {}, QString(),
       QMessageBox::NoIcon, {"&Ja", "&Nein", "&Ja für alle"}, {Action::ClickLast}, mrYesToAll},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList shown;
    bool stillOpenBeforeLastAction = true;
    app_test::onNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      icon = box->icon();
      for (QAbstractButton* button : buttonsLeftToRight(box)) shown << button->text();
      for (size_t i = 0; i < c.actions.size(); ++i) {
        if (i + 1 == c.actions.size()) stillOpenBeforeLastAction = box->isVisible();
        perform(box, c.actions[i]);
      }
    });
    const int result = tools::Dialogs().MessageDlg("Text", c.type, c.buttons, c.captions);
    EXPECT_EQ(title, c.title.isEmpty() ? QGuiApplication::applicationDisplayName() : c.title);
    EXPECT_EQ(icon, c.icon);
    EXPECT_EQ(shown, c.shownCaptions);
    EXPECT_TRUE(stillOpenBeforeLastAction);
    EXPECT_EQ(result, c.result);
  }
}

class QtOpenDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"KUNDEN.DB", "kunden.db", "Orte.Db", "notizen.txt"}) {
      QFile file(dir_.filePath(QString::fromLatin1(name)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("archiv")));
  }

  testsupport::TempDir tmp_;
  const QDir dir_{QString::fromStdString(tmp_.Path())};
};

QStringList listedNames(QFileDialog* dialog) {
  auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
  if (view == nullptr) return {};
  QStringList names;
  const QModelIndex root = view->rootIndex();
  for (int row = 0; row < view->model()->rowCount(root); ++row) {
    names << view->model()->index(row, 0, root).data().toString();
  }
  names.sort();
  return names;
}

TEST_F(QtOpenDialog, ListsTablesOfAnyLetterCaseAndReturnsTheChosenPath) {
  QString title;
  QString directory;
  QString suffix;
  QStringList filters;
  bool nonNative = false;
  QStringList names;
  app_test::onNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    directory = dialog->directory().absolutePath();
    suffix = dialog->defaultSuffix();
    filters = dialog->nameFilters();
    nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
    const QStringList expected = {"KUNDEN.DB", "Orte.Db", "archiv", "kunden.db"};
    // The file system model lists the directory in a thread of its own.
    QDeadlineTimer listed(20000);
    while (listedNames(dialog) != expected && !listed.hasExpired()) QTest::qWait(10);
    names = listedNames(dialog);
    // selectFile leaves the name field alone while it has the focus, which it may get once the
    // dialog is active.
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->clearFocus();
    dialog->selectFile(QStringLiteral("kunden.db"));
    static_cast<QDialog*>(dialog)->accept();
    if (dialog->isVisible()) {
      ADD_FAILURE() << "the dialog did not accept kunden.db";
      dialog->reject();
    }
  });
  const QString chosen = tools::Dialogs().GetOpenFileName(
      nullptr, QStringLiteral("Tabelle wählen"), dir_.path(), QStringLiteral("Datenbanken (*.db)"),
      QStringLiteral("db"));
  EXPECT_EQ(title, QStringLiteral("Tabelle wählen"));
  EXPECT_EQ(directory, QDir(dir_.path()).absolutePath());
  EXPECT_EQ(suffix, QStringLiteral("db"));
  EXPECT_EQ(filters, QStringList{QStringLiteral("Datenbanken (*.db)")});
  EXPECT_TRUE(nonNative);
  EXPECT_EQ(names, (QStringList{"KUNDEN.DB", "Orte.Db", "archiv", "kunden.db"}));
  EXPECT_EQ(chosen, QDir(dir_.path()).filePath(QStringLiteral("kunden.db")));
}

TEST_F(QtOpenDialog, ANameTypedWithoutExtensionFindsTheTableInAnyLetterCase) {
  app_test::onNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QStringLiteral("orte"));
    // Should the dialog still not find the table, its "not found" box is closed and counted.
    QTimer::singleShot(3000, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ADD_FAILURE() << box->text().toStdString();
        box->close();
      }
    });
    static_cast<QDialog*>(dialog)->accept();
    if (dialog->isVisible()) dialog->reject();
  });
  const QString chosen = tools::Dialogs().GetOpenFileName(
      nullptr, QStringLiteral("Tabelle wählen"), dir_.path(), QStringLiteral("Datenbanken (*.db)"),
      QStringLiteral("db"));
  EXPECT_EQ(chosen, QDir(dir_.path()).filePath(QStringLiteral("Orte.Db")));
}

TEST_F(QtOpenDialog, CancelGivesAnEmptyName) {
  app_test::onNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_TRUE(tools::Dialogs()
                  .GetOpenFileName(nullptr, QStringLiteral("Titel"), dir_.path(),
                                   QStringLiteral("Datenbanken (*.db)"), QStringLiteral("db"))
                  .isEmpty());
}

TEST(ScriptedDialogs, RecordsEveryAskAndAnswersFromTheQueues) {
  tools::ScriptedDialogs scripted;
  {
    tools::ScopedDialogSeam seam(scripted);
    EXPECT_EQ(&tools::Dialogs(), &scripted);
    scripted.queueMessageResult(tools::mrNo);
    scripted.queueOpenFileName(QStringLiteral("/daten/KUNDEN.DB"));
    scripted.queueOpenFileName(QString());
    EXPECT_EQ(tools::Dialogs().MessageDlg(QStringLiteral("Frage?"),
                                          tools::MsgDlgType::mtConfirmation,
                                          tools::mbYes | tools::mbNo, {QStringLiteral("&Los")}),
              tools::mrNo);
    EXPECT_EQ(tools::Dialogs().GetOpenFileName(nullptr, "T", "/start/", "F (*.db)", "db"),
              QStringLiteral("/daten/KUNDEN.DB"));
    EXPECT_EQ(tools::Dialogs().GetOpenFileName(nullptr, "T2", "/", "F", ""), QString());
  }
  EXPECT_NE(&tools::Dialogs(), &scripted);
  ASSERT_EQ(scripted.messageCalls().size(), 1u);
  EXPECT_EQ(scripted.messageCalls()[0].text, QStringLiteral("Frage?"));
  EXPECT_EQ(scripted.messageCalls()[0].type, tools::MsgDlgType::mtConfirmation);
  EXPECT_EQ(scripted.messageCalls()[0].buttons, unsigned(tools::mbYes | tools::mbNo));
  EXPECT_EQ(scripted.messageCalls()[0].captions, QStringList{QStringLiteral("&Los")});
  ASSERT_EQ(scripted.openFileCalls().size(), 2u);
  EXPECT_EQ(scripted.openFileCalls()[0].title, QStringLiteral("T"));
  EXPECT_EQ(scripted.openFileCalls()[0].dir, QStringLiteral("/start/"));
  EXPECT_EQ(scripted.openFileCalls()[0].filter, QStringLiteral("F (*.db)"));
  EXPECT_EQ(scripted.openFileCalls()[0].defaultSuffix, QStringLiteral("db"));
}

void askMessageWithEmptyQueue() {
  tools::ScriptedDialogs scripted;
  EXPECT_EQ(scripted.MessageDlg(QStringLiteral("Wirklich?"), tools::MsgDlgType::mtConfirmation,
                                tools::mbYes | tools::mbNo, {}),
            tools::mrCancel);
}

void askFileWithEmptyQueue() {
  tools::ScriptedDialogs scripted;
  EXPECT_TRUE(scripted.GetOpenFileName(nullptr, QStringLiteral("Öffnen"), QStringLiteral("/"),
                                       QString(), QString())
                  .isEmpty());
}

void leaveMessageAnswer() {
  tools::ScriptedDialogs scripted;
  scripted.queueMessageResult(tools::mrYes);
}

void leaveFileAnswer() {
  tools::ScriptedDialogs scripted;
  scripted.queueOpenFileName(QStringLiteral("/x.db"));
}

TEST(ScriptedDialogs, FailsTheTestOnAnUnexpectedAskAndAnswersCancel) {
  EXPECT_NONFATAL_FAILURE(askMessageWithEmptyQueue(), "unexpected message box: Wirklich?");
  EXPECT_NONFATAL_FAILURE(askFileWithEmptyQueue(), "unexpected file dialog");
}

TEST(ScriptedDialogs, FailsTheTestWhenQueuedAnswersAreLeftOver) {
  EXPECT_NONFATAL_FAILURE(leaveMessageAnswer(), "never asked for");
  EXPECT_NONFATAL_FAILURE(leaveFileAnswer(), "never asked for");
}

}  // namespace
