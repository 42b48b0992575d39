// MessageDlgButtons: captions, the widening rule for long captions, and the refusal of too few
// captions; read back from the box as it stood on screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>

#include "tools/message_dlg_buttons.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace {

using tools::ButtonRow;
using tools::LayOutButtonRow;
using tools::MsgDlgType;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "tools_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

TEST(ButtonRowLayout, WidensOnlyForCaptionsWiderThanAStandardButton) {
  struct Case {
    const char* name;
    std::vector<int> textWidths;
    int dialogWidth;
    bool widened;
    int widest;
    int dialogWidthAfter;
    std::vector<int> lefts;
  };
  const Case cases[] = {
      {"every caption standard", {0, 0, 0}, 300, false, 75, 300, {}},
      {"63 px plus 12 is exactly a standard button", {63, 10, 0}, 300, false, 75, 300, {}},
      {"64 px needs one more", {64, 0, 0}, 100, true, 76, 3 * 76 + 12 + 30, {12, 94, 176}},
      {"one long caption sets every width", {20, 130, 0}, 200, true, 142, 3 * 142 + 12 + 30, {12, 160, 308}},
      {"a wide box keeps its width", {130, 0}, 600, true, 142, 600, {12, 160}},
      {"the row exactly fits", {100}, 112 + 30, true, 112, 142, {12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ButtonRow row = LayOutButtonRow(c.textWidths, c.dialogWidth);
    EXPECT_EQ(row.widened, c.widened);
    EXPECT_EQ(row.widest, c.widest);
    EXPECT_EQ(row.dialogWidth, c.dialogWidthAfter);
    EXPECT_EQ(row.lefts, c.lefts);
  }
}

class MessageDlgButtonsTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }

  int Ask(const QString& text, unsigned buttons, const QStringList& captions, int answer = tools::mrOk) {
    dialogs_.queueMessageResult(answer);
    return tools::MessageDlgButtons(text, MsgDlgType::mtConfirmation, buttons, captions);
  }

  // Width of a caption as the rule measures it, in the box's font.
  static int Measured(const QString& caption) {
    QMessageBox probe;
    return QFontMetrics(probe.font()).horizontalAdvance(caption) + tools::kCaptionAllowance;
  }

  tools::ScriptedDialogs dialogs_;
  tools::ScopedDialogSeam seam_{dialogs_};
};

TEST_F(MessageDlgButtonsTest, EmptyAndShortCaptionsChangeOnlyTheTexts) {
  const unsigned buttons = tools::mbYes | tools::mbNo | tools::mbCancel;
  EXPECT_EQ(Ask(QStringLiteral("Frage?"), buttons, {QString(), QString(), QString()}, tools::mrNo), tools::mrNo);
  EXPECT_EQ(Ask(QStringLiteral("Frage?"), buttons, {QStringLiteral("&Ja"), QStringLiteral("Ne&in"), QString()}), tools::mrOk);
  ASSERT_EQ(dialogs_.boxCalls().size(), 2u);
  const auto& standard = dialogs_.boxCalls()[0];
  const auto& changed = dialogs_.boxCalls()[1];
  EXPECT_EQ(standard.title, QStringLiteral("Bestätigung"));
  EXPECT_EQ(standard.captions, (QStringList{"&Ja", "&Nein", "Abbrechen"}));
  EXPECT_EQ(changed.captions, (QStringList{"&Ja", "Ne&in", "Abbrechen"}));
  EXPECT_EQ(changed.widths, standard.widths);
  EXPECT_EQ(changed.lefts, standard.lefts);
  EXPECT_EQ(changed.dialogWidth, standard.dialogWidth);
}

TEST_F(MessageDlgButtonsTest, OneLongCaptionWidensEveryButtonAndTheRow) {
  const QString longCaption = QStringLiteral("&Inhalt vollständig kopieren");
  const int widest = Measured(longCaption);
  ASSERT_GT(widest, tools::kStandardButtonWidth);
  EXPECT_EQ(Ask(QStringLiteral("Kurz?"), tools::mbYes | tools::mbNo | tools::mbCancel,
                {longCaption, QStringLiteral("&Nur anlegen"), QString(), QStringLiteral("überzählig")},
                tools::mrYes),
            tools::mrYes);
  ASSERT_EQ(dialogs_.boxCalls().size(), 1u);
  const auto& box = dialogs_.boxCalls()[0];
  EXPECT_EQ(box.captions, (QStringList{longCaption, "&Nur anlegen", "Abbrechen"}));
  EXPECT_EQ(box.widths, (std::vector<int>{widest, widest, widest}));
  EXPECT_EQ(box.lefts, (std::vector<int>{12, 12 + widest + 6, 12 + 2 * (widest + 6)}));
  // The standard box with these buttons is narrower than the row needs.
  EXPECT_EQ(box.dialogWidth, 3 * widest + 2 * 6 + 30);
}

TEST_F(MessageDlgButtonsTest, LongMessageKeepsTheBoxWidthAndTheRowStartsAtTheLeft) {
  const QString caption = QStringLiteral("Etwas längere Beschriftung");
  const int widest = Measured(caption);
  ASSERT_GT(widest, tools::kStandardButtonWidth);
  const QString message(400, QLatin1Char('x'));
  Ask(message, tools::mbOK | tools::mbCancel, {caption, QString()});
  ASSERT_EQ(dialogs_.boxCalls().size(), 1u);
  const auto& box = dialogs_.boxCalls()[0];
  EXPECT_GT(box.dialogWidth, 2 * widest + 6 + 30);
  EXPECT_EQ(box.lefts, (std::vector<int>{12, 12 + widest + 6}));
  EXPECT_EQ(box.widths, (std::vector<int>{widest, widest}));
}

TEST_F(MessageDlgButtonsTest, TooFewCaptionsAreRefusedWithoutShowingTheBox) {
  dialogs_.queueMessageResult(tools::mrOk);
  EXPECT_EQ(tools::MessageDlgButtons(QStringLiteral("Frage?"), MsgDlgType::mtConfirmation,
                                     tools::mbYes | tools::mbNo | tools::mbCancel,
                                     {QStringLiteral("a"), QStringLiteral("b")}),
            0);
  EXPECT_TRUE(dialogs_.boxCalls().empty());
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("Zu wenige Texte für Buttons vergeben!"));
  EXPECT_EQ(dialogs_.messageCalls()[0].type, MsgDlgType::mtError);
  EXPECT_EQ(dialogs_.messageCalls()[0].buttons, static_cast<unsigned>(tools::mbOK));
}

}  // namespace
