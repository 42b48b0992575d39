#include "app/index_composition.h"

#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

#include "app/tests/browse_fixture.h"

namespace {

TEST(FieldTypeName, NamesTheTypesOfTheTableAndCallsEveryOtherUnknownWithATrailingBlank) {
  const std::map<int, const char*> named = {
      {1, "ftString"},  {2, "ftSmallint"}, {3, "ftInteger"}, {4, "ftWord"},
      {5, "ftBoolean"}, {6, "ftFloat"},    {7, "ftCurrency"}, {8, "ftBCD"},
      {9, "ftDate"},    {10, "ftTime"},    {11, "ftDateTime"}, {14, "ftAutoInc"},
      {15, "ftBlob"},   {16, "ftMemo"},
  };
  for (int code = 0; code <= 29; ++code) {
    const auto it = named.find(code);
    const QString expected =
        it != named.end() ? QString::fromLatin1(it->second) : QStringLiteral("Unbekannt ");
    EXPECT_EQ(app::FieldTypeName(static_cast<engine::TFieldType>(code)), expected) << code;
  }
}

TEST(IndexCompositionText, OneFieldGivesOneLineWithoutALineBreak) {
  const QString text = app::IndexCompositionText(
      QStringLiteral("Nr"), QString(), [](const QString&) { return engine::ftAutoInc; });
  EXPECT_EQ(text, QStringLiteral("Nr  -  ftAutoInc"));
}

TEST(IndexCompositionText, GraphicAndFormattedMemoFieldsShowAsUnknown) {
  const QString text = app::IndexCompositionText(
      QStringLiteral("Bild;Text"), QString(), [](const QString& name) {
        return name == QStringLiteral("Bild") ? engine::ftGraphic : engine::ftFmtMemo;
      });
  EXPECT_EQ(text, QStringLiteral("Bild  -  Unbekannt \rText  -  Unbekannt "));
}

using IndexCompositionBox = app_test::BrowseTest;

TEST_F(IndexCompositionBox, DescribesTheChosenIndexWithItsDescendingFields) {
  openStandardPersonen();
  dialogs_.queueMessageResult(tools::mrOk);
  button("ToolButtonInfo")->click();

  auto* choice = control<QComboBox>("ComboBoxIndex");
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);
  dialogs_.queueMessageResult(tools::mrOk);
  button("ToolButtonInfo")->click();

  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  // No descending field: no DescFields part and no empty lines.
  EXPECT_EQ(dialogs_.messageCalls()[0].text, QStringLiteral("Name  -  ftString\rVorname  -  ftString"));
  EXPECT_EQ(dialogs_.messageCalls()[1].text,
            QStringLiteral("Name  -  ftString\rGeburtsdatum  -  ftDate\r\r"
                           "DescFields = 'Geburtsdatum'"));
  for (const auto& call : dialogs_.messageCalls()) {
    EXPECT_EQ(call.type, tools::MsgDlgType::mtInformation);
    EXPECT_EQ(call.buttons, unsigned(tools::mbOK));
  }
}

TEST_F(IndexCompositionBox, ATableWithoutIndexGivesAnErrorAndNoInformationBox) {
  engine::TTable t;
  t.SetDatabaseName(dir_.Path());
  t.SetTableName("OHNE.DB");
  t.FieldDefs().Add({"Text", engine::ftString, 10, false});
  t.CreateTable();
  dialogs_.queueOpenFileName(QString::fromStdString(dir_.Path() + "OHNE.DB"));
  button("ToolButtonOpen")->click();
  ASSERT_TRUE(table().Active());

  dialogs_.queueMessageResult(tools::mrOk);
  button("ToolButtonInfo")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtError);

  // The search on such a table ends the same way and changes nothing.
  searchText()->setText(QStringLiteral("x"));
  dialogs_.queueMessageResult(tools::mrOk);
  button("SpeedButtonTake1")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 2u);
  EXPECT_EQ(dialogs_.messageCalls()[1].type, tools::MsgDlgType::mtError);
  EXPECT_EQ(searchText()->text(), QStringLiteral("x"));
}

}  // namespace
