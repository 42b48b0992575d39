#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#include "component/table.h"
#include "tools/tramek_tools.h"

namespace {

TEST(TrimBlanksTest, RemovesSpacesOnlyAtTheEnds) {
  struct Case {
    QString text, leading, trailing, both;
  };
  const Case cases[] = {
      {"  a b  ", "a b  ", "  a b", "a b"},
      {"\ta\t", "\ta\t", "\ta\t", "\ta\t"},
      {" \ta ", "\ta ", " \ta", "\ta"},
      {QString::fromUtf8("\u00a0a\u00a0"), QString::fromUtf8("\u00a0a\u00a0"),
       QString::fromUtf8("\u00a0a\u00a0"), QString::fromUtf8("\u00a0a\u00a0")},
      {"    ", "", "", ""},
      {"", "", "", ""},
      {"x", "x", "x", "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tools::TrimLeadingBlanks(c.text), c.leading) << c.text.toStdString();
    EXPECT_EQ(tools::TrimTrailingBlanks(c.text), c.trailing) << c.text.toStdString();
    EXPECT_EQ(tools::TrimBlanks(c.text), c.both) << c.text.toStdString();
  }
}

TEST(FormatNumberTextTest, GroupsWithTheLocalesSeparators) {
  const QLocale german(QLocale::German, QLocale::Germany);
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  struct Case {
    double value;
    int decimals;
    const char* german;
    const char* english;
  };
  const Case cases[] = {
      {1234567, 0, "1.234.567 ", "1,234,567 "},
      {87.5, 1, "87,5 ", "87.5 "},
      {2048, 0, "2.048 ", "2,048 "},
      {100, 0, "100 ", "100 "},
      {0, 0, "0 ", "0 "},
      {0, 1, "0,0 ", "0.0 "},
      {12.5, 1, "12,5 ", "12.5 "},
      {5000.0 / (1310720.0 / 100.0), 1, "0,4 ", "0.4 "},
      {-1305720, 0, "-1.305.720 ", "-1,305,720 "},
      {2147090432, 0, "2.147.090.432 ", "2,147,090,432 "},
      {12345678901.0, 0, "12.345.678.900 ", "12,345,678,900 "},  // 10 significant digits
      {-0.04, 1, "0,0 ", "0.0 "},
      {-0.0, 0, "0 ", "0 "},
      {-0.4, 0, "0 ", "0 "},
      {-0.6, 0, "-1 ", "-1 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tools::FormatNumberText(c.value, c.decimals, german), QString::fromUtf8(c.german));
    EXPECT_EQ(tools::FormatNumberText(c.value, c.decimals, english),
              QString::fromUtf8(c.english));
  }
}

TEST(FormatNumberTextTest, UsesTheDefaultLocaleUnlessGivenOne) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(tools::FormatNumberText(1234567, 0), QStringLiteral("1.234.567 "));
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(tools::FormatNumberText(1234567, 0), QStringLiteral("1,234,567 "));
  QLocale::setDefault(saved);
}

TEST(InitializeTramekToolsTest, RestoresEveryStartUpSetting) {
  tools::KeyEdit = Qt::Key_A;
  tools::KeyPost = Qt::Key_A;
  tools::KeyDelete = Qt::Key_A;
  tools::KeyMemo = Qt::Key_A;
  tools::RecentPastWindowDays = 1;
  tools::EarliestCompletedYear = 1990;
  engine::SetShortDateFormat("yyyy-mm-dd");
  tools::InitializeTramekTools();
  EXPECT_EQ(tools::KeyEdit, Qt::Key_F8);
  EXPECT_EQ(tools::KeyPost, Qt::Key_F2);
  EXPECT_EQ(tools::KeyDelete, Qt::Key_F7);
  EXPECT_EQ(tools::KeyMemo, Qt::Key_F5);
  EXPECT_EQ(tools::RecentPastWindowDays, 50);
  EXPECT_EQ(tools::EarliestCompletedYear, 0);
  EXPECT_EQ(engine::ShortDateFormat(), "dd.mm.yyyy");
}

TEST(SetBusyCursorTest, SwitchesTheOverrideCursorWithoutStacking) {
  static int argc = 1;
  static char name[] = "tools_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  tools::SetBusyCursor(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  tools::SetBusyCursor(true);
  tools::SetBusyCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  tools::SetBusyCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
