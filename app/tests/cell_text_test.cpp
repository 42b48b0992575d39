#include "app/cell_text.h"

#include <gtest/gtest.h>

#include "app/tests/browse_fixture.h"

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

struct Shown {
  engine::TFieldType type;
  const char* engineText;
  const char* german;
  const char* english;
};

TEST(CellText, NumbersShowWithTheLocalesSeparatorsAndMoneyAsMoney) {
  const std::vector<Shown> cases = {
      {engine::ftFloat, "1.34", "1,34", "1.34"},
      {engine::ftFloat, "13002", "13002", "13002"},
      {engine::ftFloat, "-0.5", "-0,5", "-0.5"},
      {engine::ftCurrency, "13002", "13.002,00\u00a0€", "$13,002.00"},
      {engine::ftCurrency, "1.5", "1,50\u00a0€", "$1.50"},
      {engine::ftBCD, "-1234.50", "-1234,50", "-1234.50"},
      {engine::ftInteger, "123456", "123456", "123456"},
      {engine::ftDate, "01.02.2003", "01.02.2003", "01.02.2003"},
      {engine::ftString, "1.5", "1.5", "1.5"},
      {engine::ftCurrency, "", "", ""},
  };
  for (const Shown& c : cases) {
    const QString engineText = QString::fromUtf8(c.engineText);
    EXPECT_EQ(app::DisplayCellText(c.type, engineText, kGerman), QString::fromUtf8(c.german))
        << c.engineText;
    EXPECT_EQ(app::DisplayCellText(c.type, engineText, kEnglish), QString::fromUtf8(c.english))
        << c.engineText;
  }
  // The editor starts with money as a plain number.
  EXPECT_EQ(app::EditCellText(engine::ftCurrency, QStringLiteral("13002"), kGerman),
            QStringLiteral("13002,00"));
}

struct Typed {
  engine::TFieldType type;
  const char* typed;
  const char* engineText;  // nullptr: refused
};

void expectTyped(const std::vector<Typed>& cases, const QLocale& locale) {
  for (const Typed& c : cases) {
    const std::optional<QString> text =
        app::EngineCellText(c.type, QString::fromUtf8(c.typed), locale);
    if (c.engineText == nullptr) {
      EXPECT_FALSE(text.has_value()) << c.typed;
    } else {
      ASSERT_TRUE(text.has_value()) << c.typed;
      EXPECT_EQ(*text, QString::fromUtf8(c.engineText)) << c.typed;
    }
  }
}

TEST(CellText, TypedNumbersAreReadInTheLocale) {
  expectTyped({{engine::ftFloat, "1,34", "1.3400000000000001"},
               {engine::ftCurrency, "13.002,00", "13002"},
               {engine::ftCurrency, "13.002,00 €", "13002"},
               {engine::ftCurrency, "13002", "13002"},
               {engine::ftBCD, "-1.234,5", "-1234.5"},
               {engine::ftBCD, "12345678901234567890,12", "12345678901234567890.12"},
               {engine::ftInteger, "42", "42"},
               {engine::ftInteger, "4,2", nullptr},
               {engine::ftFloat, "abc", nullptr},
               {engine::ftFloat, "", ""},
               {engine::ftString, " 1,5 ", " 1,5 "}},
              kGerman);
  expectTyped({{engine::ftFloat, "1.34", "1.3400000000000001"},
               {engine::ftCurrency, "$13,002.00", "13002"},
               {engine::ftBCD, "-1,234.5", "-1234.5"},
               {engine::ftFloat, "1,34", nullptr}},
              kEnglish);
}

// The grid's cells of one record under a German and an English locale.
class LocaleCells : public app_test::BrowseTest {
 protected:
  void TearDown() override {
    QLocale::setDefault(QLocale::system());
    BrowseTest::TearDown();
  }
  QString cell(int row, int column) { return form_->DSTabelle().index(row, column).data().toString(); }
};

TEST_F(LocaleCells, TheSameCellsShowInTheGermanAndTheEnglishWay) {
  openStandardPersonen();
  // Row 2 is Meier Karl, born 01.02.2003, 13002 of money; row 0 Becker Anna with 1.34.
  QLocale::setDefault(kGerman);
  form_->DSTabelle().refreshRows();
  EXPECT_EQ(cell(2, 3), QStringLiteral("13.002,00\u00a0€"));
  EXPECT_EQ(cell(0, 3), QStringLiteral("1,34\u00a0€"));
  EXPECT_EQ(cell(2, 2), QStringLiteral("01.02.2003"));

  QLocale::setDefault(kEnglish);
  form_->DSTabelle().refreshRows();
  EXPECT_EQ(cell(2, 3), QStringLiteral("$13,002.00"));
  EXPECT_EQ(cell(0, 3), QStringLiteral("$1.34"));
  EXPECT_EQ(cell(2, 2), QStringLiteral("01.02.2003"));
}

TEST_F(LocaleCells, TypedValuesAreReadTheSameWay) {
  QLocale::setDefault(kGerman);
  openStandardPersonen();
  showActive();
  button("ToolButtonEdit")->click();
  typeIntoCell(0, 3, QStringLiteral("13.002,00"));
  typeIntoCell(0, 4, QStringLiteral("1,34"));
  typeIntoCell(0, 5, QStringLiteral("True"));
  typeIntoCell(0, 2, QStringLiteral("5.6.1999"));
  grid()->setFocus();
  press(Qt::Key_F2);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_EQ(table().FieldByName("Betrag").AsFloat(), 13002.0);
  EXPECT_EQ(table().FieldByName("Anteil").AsFloat(), 1.34);
  EXPECT_TRUE(table().FieldByName("Aktiv").AsBoolean());
  EXPECT_EQ(current("Geburtsdatum"), "05.06.1999");
  EXPECT_EQ(cell(0, 3), QStringLiteral("13.002,00\u00a0€"));
  EXPECT_EQ(cell(0, 4), QStringLiteral("1,34"));

  // A number that is none in this locale is refused naming the field, nothing is written.
  dialogs_.queueMessageResult(tools::mrOk);
  typeIntoCell(0, 4, QStringLiteral("1.34x"));
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_TRUE(dialogs_.messageCalls()[0].text.contains(QStringLiteral("Anteil")));
  EXPECT_EQ(table().FieldByName("Anteil").AsFloat(), 1.34);
}

}  // namespace
