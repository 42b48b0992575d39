#include "app/key_search.h"

#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/tests/browse_fixture.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"

namespace {

bool isGeburtsdatum(const QString& name) { return name == QStringLiteral("Geburtsdatum"); }

struct Pairing {
  const char* fields;
  const char* typed;
  QStringList values;
};

TEST(KeyValues, PairTypedPiecesWithTheIndexFieldsFromTheLeft) {
  const std::vector<Pairing> cases = {
      {"Name;Vorname", "Meier;Hans", {"Meier", "Hans"}},
      {"Name;Vorname", "Meier", {"Meier"}},                       // leading field only
      {"Name", "Meier;Hans;x", {"Meier"}},                        // pieces beyond the index dropped
      {"Name;Geburtsdatum", "Meier;1.2.2003", {"Meier", "01.02.2003"}},
      {"Name;Geburtsdatum", "Meier;kein Datum", {"Meier", ""}},   // no date: empty value
      {"Name;Vorname", "Meier;", {"Meier", ""}},
      {"Name;Vorname", ";Hans", {"", "Hans"}},
      {"Name;Vorname;Geburtsdatum", "Meier;;24121970", {"Meier", "", "24.12.1970"}},
  };
  for (const Pairing& c : cases) {
    const app::KeyValues keys = app::PairKeyValues(QString::fromUtf8(c.typed),
                                                   QString::fromUtf8(c.fields), isGeburtsdatum);
    EXPECT_TRUE(keys.withinLimit) << c.typed;
    EXPECT_EQ(keys.values, c.values) << c.typed;
    EXPECT_EQ(keys.searchText(), c.values.join(QLatin1Char(';'))) << c.typed;
  }
}

QString numbered(int count, const char* prefix) {
  QStringList parts;
  for (int i = 1; i <= count; ++i) parts << QString::fromLatin1(prefix) + QString::number(i);
  return parts.join(QLatin1Char(';'));
}

TEST(KeyValues, AtMostTenValuesAreSearched) {
  auto never = [](const QString&) { return false; };
  // Ten values for an index of eleven fields are a search on its first ten.
  app::KeyValues keys = app::PairKeyValues(numbered(10, "v"), numbered(11, "F"), never);
  EXPECT_TRUE(keys.withinLimit);
  EXPECT_EQ(keys.values.size(), 10);
  // An eleventh value for an eleventh field is refused, also an empty one after a last ";".
  EXPECT_FALSE(app::PairKeyValues(numbered(11, "v"), numbered(11, "F"), never).withinLimit);
  EXPECT_FALSE(app::PairKeyValues(numbered(10, "v") + u';', numbered(12, "F"), never).withinLimit);
  // An index of ten fields ends the pairing first: the eleventh piece is dropped.
  keys = app::PairKeyValues(numbered(12, "v"), numbered(10, "F"), never);
  EXPECT_TRUE(keys.withinLimit);
  EXPECT_EQ(keys.searchText(), numbered(10, "v"));
}

TEST(KeyValues, AFieldTheTableLacksEndsThePairing) {
  auto lookup = [](const QString& name) -> bool {
    if (name != QStringLiteral("Name")) throw std::runtime_error("unbekanntes Feld");
    return false;
  };
  EXPECT_THROW(app::PairKeyValues(QStringLiteral("a;b"), QStringLiteral("Name;Fehlt"), lookup),
               std::runtime_error);
}

using KeySearchTest = app_test::BrowseTest;

TEST_F(KeySearchTest, EnterAndTheSearchButtonPositionOnTheFirstMatchAndFocusTheGrid) {
  openStandardPersonen();
  showActive();
  searchText()->setFocus();
  searchText()->setText(QStringLiteral("Meier;Karl"));
  press(Qt::Key_Return);
  EXPECT_EQ(current("Vorname"), "Karl");
  EXPECT_EQ(searchText()->text(), QStringLiteral("Meier;Karl"));
  EXPECT_EQ(QApplication::focusWidget(), grid());
  EXPECT_EQ(grid()->currentIndex().row(), table().RecNo());

  searchText()->setText(QStringLiteral("Meier;Hans;x"));
  button("SpeedButtonTake1")->click();
  EXPECT_EQ(current("Vorname"), "Hans");
  EXPECT_EQ(searchText()->text(), QStringLiteral("Meier;Hans"));

  // Only the leading field: the first Meier in key order.
  table().Last();
  searchText()->setText(QStringLiteral("Meier"));
  button("SpeedButtonTake1")->click();
  EXPECT_EQ(current("Vorname"), "Hans");
  EXPECT_TRUE(dialogs_.messageCalls().empty());
}

TEST_F(KeySearchTest, SearchesTheSecondaryIndexWithItsDateRewrittenAndDescending) {
  openStandardPersonen();
  auto* choice = control<QComboBox>("ComboBoxIndex");
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);
  ASSERT_EQ(table().IndexName(), "NameDatum");

  searchText()->setText(QStringLiteral("Meier;1.2.2003"));
  button("SpeedButtonTake1")->click();
  EXPECT_EQ(searchText()->text(), QStringLiteral("Meier;01.02.2003"));
  EXPECT_EQ(current("Vorname"), "Karl");
  // Descending dates: Karl (2003) comes before Hans (1970) in this order.
  EXPECT_EQ(table().RecNo(), 1);

  searchText()->setText(QStringLiteral("Becker;kein Datum"));
  button("SpeedButtonTake1")->click();
  EXPECT_EQ(searchText()->text(), QStringLiteral("Becker;"));
  EXPECT_EQ(current("Vorname"), "Anna") << "an empty date finds the record without a date";
  EXPECT_TRUE(dialogs_.messageCalls().empty());
}

TEST_F(KeySearchTest, ANoMatchLeavesTheRecordWithoutAMessageButFocusesTheGrid) {
  openStandardPersonen();
  showActive();
  table().MoveTo(2);
  searchText()->setFocus();
  searchText()->setText(QStringLiteral("Zander"));
  press(Qt::Key_Return);
  EXPECT_EQ(table().RecNo(), 2);
  EXPECT_TRUE(dialogs_.messageCalls().empty());
  EXPECT_EQ(QApplication::focusWidget(), grid());
}

TEST_F(KeySearchTest, AnEmptyTextOrNoTableDoesNothingNotEvenAFocusChange) {
  showActive();
  searchText()->setFocus();
  searchText()->setText(QStringLiteral("Meier"));
  press(Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), searchText());
  EXPECT_EQ(searchText()->text(), QStringLiteral("Meier"));

  openStandardPersonen();
  searchText()->setFocus();
  searchText()->clear();
  press(Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), searchText());
  EXPECT_TRUE(dialogs_.messageCalls().empty());
}

TEST_F(KeySearchTest, TheTenValueBoxStopsTheSearchAndKeepsTheTypedText) {
  // A table whose key has eleven fields.
  engine::TTable t;
  t.SetDatabaseName(dir_.Path());
  t.SetTableName("ELF.DB");
  QStringList names;
  for (int i = 1; i <= 11; ++i) {
    names << QStringLiteral("F%1").arg(i);
    t.FieldDefs().Add({names.last().toStdString(), engine::ftString, 4, false});
  }
  t.IndexDefs().Add({"", names.join(QLatin1Char(';')).toStdString(), "", engine::ixPrimary});
  t.CreateTable();
  dialogs_.queueOpenFileName(QString::fromStdString(dir_.Path() + "ELF.DB"));
  button("ToolButtonOpen")->click();
  ASSERT_TRUE(table().Active());

  const QString typed = QStringLiteral("a;b;c;d;e;f;g;h;i;j;k");
  searchText()->setText(typed);
  dialogs_.queueMessageResult(tools::mrOk);
  button("SpeedButtonTake1")->click();
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].text,
            QStringLiteral("Der Index darf maximal aus zehn Feldern bestehen!"));
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtInformation);
  EXPECT_EQ(dialogs_.messageCalls()[0].buttons, unsigned(tools::mbOK));
  EXPECT_EQ(searchText()->text(), typed);
}

TEST_F(KeySearchTest, EscAnywhereMovesTheFocusToTheSearchTextWithAllSelected) {
  showActive();
  // Also without an open table.
  grid()->setFocus();
  searchText()->setText(QStringLiteral("Meier"));
  press(Qt::Key_Escape);
  EXPECT_EQ(QApplication::focusWidget(), searchText());
  EXPECT_EQ(searchText()->selectedText(), QStringLiteral("Meier"));

  openStandardPersonen();
  grid()->setFocus();
  press(Qt::Key_Escape);
  EXPECT_EQ(QApplication::focusWidget(), searchText());
  searchText()->deselect();
  press(Qt::Key_Escape);
  EXPECT_EQ(searchText()->selectedText(), QStringLiteral("Meier"));
}

TEST_F(KeySearchTest, LettersForANumberShowTheComponentsMessageAndKeepTheFocus) {
  SKIP_WITHOUT_FIXTURES();
  dialogs_.queueOpenFileName(QString::fromStdString(
      testsupport::CopyTable(testsupport::fixtures::KeyedWithBlobs(), dir_.Path())));
  button("ToolButtonOpen")->click();
  ASSERT_TRUE(table().Active());
  showActive();
  table().MoveTo(3);
  searchText()->setFocus();
  searchText()->setText(QStringLiteral("sieben;x"));
  dialogs_.queueMessageResult(tools::mrOk);
  press(Qt::Key_Return);
  ASSERT_EQ(dialogs_.messageCalls().size(), 1u);
  EXPECT_EQ(dialogs_.messageCalls()[0].type, tools::MsgDlgType::mtError);
  EXPECT_TRUE(dialogs_.messageCalls()[0].text.contains(QStringLiteral("CustNo")))
      << dialogs_.messageCalls()[0].text.toStdString();
  // The text was already rewritten (one key field: the rest dropped); nothing else moved.
  EXPECT_EQ(searchText()->text(), QStringLiteral("sieben"));
  EXPECT_EQ(table().RecNo(), 3);
  EXPECT_EQ(QApplication::focusWidget(), searchText());
}

}  // namespace
