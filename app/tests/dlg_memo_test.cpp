// The memo dialog on the memo field Notiz of PERSONEN.DB (column 6).

#include "app/unit_dlg_memo.h"

#include <QFrame>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include "app/tests/browse_fixture.h"
#include "app/tests/modal.h"

namespace {

constexpr int kNotiz = 6;

class MemoDialog : public app_test::BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    memoDialog_ = new app::TDlgMemo(form_->DSTabelle(), form_.get());
    form_->setMemoDialog(memoDialog_);
  }

  // Presses F5 in the grid on `column` of row 0; `inDialog` runs on the shown dialog's memo.
  void showMemo(int column, const std::function<void(QPlainTextEdit*)>& inDialog) {
    showActive();
    grid()->setFocus();
    grid()->setCurrentIndex(form_->DSTabelle().index(0, column));
    app_test::onNextModal([&](QWidget* modal) {
      EXPECT_EQ(modal, memoDialog_);
      EXPECT_TRUE(QTest::qWaitForWindowActive(modal));
      auto* memo = modal->findChild<QPlainTextEdit*>(QStringLiteral("Memo"));
      ASSERT_NE(memo, nullptr);
      EXPECT_EQ(modal->focusWidget(), memo);
      inDialog(memo);
      if (modal->isVisible()) modal->close();
    });
    press(Qt::Key_F5);
  }

  void setNotiz(const std::string& text) {
    table().First();
    table().Edit();
    table().FieldByName("Notiz").SetAsString(text);
    table().Post();
  }

  app::TDlgMemo* memoDialog_ = nullptr;
};

TEST_F(MemoDialog, AFieldOfAnotherTypeGivesTheErrorBoxAndNoDialog) {
  openStandardPersonen();
  showActive();
  grid()->setFocus();
  for (int column : {0, 2, 3}) {
    grid()->setCurrentIndex(form_->DSTabelle().index(0, column));
    dialogs_.queueMessageResult(tools::mrOk);
    press(Qt::Key_F5);
  }
  ASSERT_EQ(dialogs_.messageCalls().size(), 3u);
  for (const auto& call : dialogs_.messageCalls()) {
    EXPECT_EQ(call.text, QStringLiteral("Das gewählte Feld ist nicht vom Typ Memo!"));
    EXPECT_EQ(call.type, tools::MsgDlgType::mtError);
    EXPECT_EQ(call.buttons, unsigned(tools::mbOK));
  }
  EXPECT_FALSE(memoDialog_->isVisible());
}

TEST_F(MemoDialog, WithEditModeOffItOnlyShowsTheText) {
  openStandardPersonen();
  setNotiz("Erste Zeile\r\nZweite Zeile");
  showMemo(kNotiz, [](QPlainTextEdit* memo) {
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("Erste Zeile\nZweite Zeile"));
    QTest::keyClicks(memo, QStringLiteral("xyz"));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("Erste Zeile\nZweite Zeile"));
    QTest::keyClick(memo, Qt::Key_F2);
  });
  EXPECT_FALSE(memoDialog_->isVisible());
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(current("Notiz"), "Erste Zeile\r\nZweite Zeile");
}

TEST_F(MemoDialog, F2HandsTheChangedTextToTheFieldAndTheMainWindowPostsIt) {
  openStandardPersonen();
  setNotiz("Erste Zeile\r\nZweite");
  button("ToolButtonEdit")->click();
  showMemo(kNotiz, [](QPlainTextEdit* memo) {
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, QStringLiteral(" Zeile"));
    memo->insertPlainText(QStringLiteral(" - Größe"));
    QTest::keyClick(memo, Qt::Key_F2);
  });
  EXPECT_FALSE(memoDialog_->isVisible());
  // The record stays in editing with the new text until the main window posts it; the text
  // keeps its line breaks.
  EXPECT_EQ(table().State(), engine::TDataSetState::dsEdit);
  EXPECT_EQ(current("Notiz"), "Erste Zeile\r\nZweite Zeile - Größe");
  grid()->setFocus();
  press(Qt::Key_F2);
  EXPECT_EQ(table().State(), engine::TDataSetState::dsBrowse);

  engine::TTable reread;
  reread.SetDatabaseName(dir_.Path());
  reread.SetTableName("PERSONEN.DB");
  reread.Open();
  reread.First();
  EXPECT_EQ(reread.FieldByName("Notiz").AsString(), "Erste Zeile\r\nZweite Zeile - Größe");
}

TEST_F(MemoDialog, EscDiscardsWhatWasTyped) {
  openStandardPersonen();
  setNotiz("bleibt");
  button("ToolButtonEdit")->click();
  showMemo(kNotiz, [](QPlainTextEdit* memo) {
    QTest::keyClicks(memo, QStringLiteral("weg"));
    QTest::keyClick(memo, Qt::Key_Escape);
  });
  EXPECT_FALSE(memoDialog_->isVisible());
  EXPECT_EQ(current("Notiz"), "bleibt");
  EXPECT_FALSE(table().Modified());
  EXPECT_TRUE(dialogs_.messageCalls().empty());
}

TEST_F(MemoDialog, ALongMemoIsShownAndWrittenBackWhole) {
  openStandardPersonen();
  std::string text;
  for (int i = 0; i < 4000; ++i) text += "Zeile " + std::to_string(i) + " mit Ümlaut\r\n";
  setNotiz(text);
  button("ToolButtonEdit")->click();
  showMemo(kNotiz, [](QPlainTextEdit* memo) {
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, QStringLiteral("Ende"));
    QTest::keyClick(memo, Qt::Key_F2);
  });
  grid()->setFocus();
  press(Qt::Key_F2);
  EXPECT_EQ(current("Notiz"), text + "Ende");
}

TEST_F(MemoDialog, ACharacterTheCodePageLacksIsRefusedAndTheFieldKeepsItsText) {
  openStandardPersonen();
  setNotiz("alt");
  button("ToolButtonEdit")->click();
  dialogs_.queueMessageResult(tools::mrOk);
  showMemo(kNotiz, [](QPlainTextEdit* memo) {
    memo->insertPlainText(QStringLiteral("\u2603"));
    QTest::keyClick(memo, Qt::Key_F2);
  });
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtError);
  EXPECT_EQ(current("Notiz"), "alt");
}

TEST_F(MemoDialog, CannotShrinkBelowItsFirstSizeAndItsFrameAndTextGrow) {
  memoDialog_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(memoDialog_));
  const QSize first = memoDialog_->size();
  EXPECT_EQ(first, QSize(411, 180));
  EXPECT_EQ(memoDialog_->minimumSize(), first);
  auto* memo = memoDialog_->findChild<QPlainTextEdit*>(QStringLiteral("Memo"));
  auto* bevel = memoDialog_->findChild<QFrame*>(QStringLiteral("Bevel1"));
  ASSERT_NE(memo, nullptr);
  ASSERT_NE(bevel, nullptr);
  EXPECT_EQ(memo->geometry(), QRect(66, 15, 330, 151));
  memoDialog_->resize(first + QSize(100, 50));
  EXPECT_EQ(memo->geometry(), QRect(66, 15, 430, 201));
  EXPECT_EQ(bevel->geometry(), QRect(4, 5, 504, 221));
  memoDialog_->resize(QSize(200, 100));
  EXPECT_EQ(memoDialog_->size(), first);
  memoDialog_->close();
}

}  // namespace
