#include <gtest/gtest.h>

#include <vector>

#include "tools/tramek_tools.h"

namespace {

struct DateCase {
  const char* text;
  int mode;
  QDate expected;  // invalid: not a date
};

class ParseDateTextTest : public ::testing::Test {
 protected:
  void SetUp() override { tools::InitializeTramekTools(); }
  void TearDown() override {
    tools::SetTodayForTesting(std::nullopt);
    tools::InitializeTramekTools();
  }

  static void expectAll(const QDate& today, const std::vector<DateCase>& cases) {
    tools::SetTodayForTesting(today);
    for (const DateCase& c : cases) {
      const std::optional<QDate> result =
          tools::ParseDateText(QString::fromUtf8(c.text), c.mode);
      if (c.expected.isValid()) {
        ASSERT_TRUE(result.has_value()) << "'" << c.text << "' mode " << c.mode;
        EXPECT_EQ(*result, c.expected) << "'" << c.text << "' mode " << c.mode << " gave "
                                       << result->toString(Qt::ISODate).toStdString();
      } else {
        EXPECT_FALSE(result.has_value())
            << "'" << c.text << "' mode " << c.mode << " gave "
            << result->toString(Qt::ISODate).toStdString();
      }
    }
  }
};

const QDate kToday(2026, 12, 7);
const QDate kNoDate;

TEST_F(ParseDateTextTest, ReadsFullDatesInEveryForm) {
  expectAll(kToday, {
                        {"24.12.1999", 255, QDate(1999, 12, 24)},
                        {"24,12,1999", 255, QDate(1999, 12, 24)},
                        {"24121999", 255, QDate(1999, 12, 24)},
                        {"  24.12.1999^  ", 255, QDate(1999, 12, 24)},
                        {"^24.^12.1999", 255, QDate(1999, 12, 24)},
                        {" 5 . 3 . 1999 ", 255, QDate(1999, 3, 5)},
                        {"29.2.2024", 255, QDate(2024, 2, 29)},
                        {"5.3.999", 255, QDate(999, 3, 5)},
                        {"05031999", 255, QDate(1999, 3, 5)},
                        {"050319991234", 255, QDate(1999, 3, 5)},
                    });
}

TEST_F(ParseDateTextTest, CompletesMissingPartsFromToday) {
  expectAll(kToday, {
                        {"5", 255, QDate(2026, 12, 5)},
                        {"7", 255, QDate(2026, 12, 7)},
                        {"8", 255, QDate(2026, 11, 8)},
                        {"15", 255, QDate(2026, 11, 15)},
                        {"0512", 255, QDate(2026, 12, 5)},
                        {"24.12.", 255, QDate(2025, 12, 24)},
                        {"7.12.", 255, QDate(2026, 12, 7)},
                        {"1.3", 255, QDate(2026, 3, 1)},
                        {"1.2.3.4", 255, QDate(2003, 2, 1)},
                        {"5..2020", 255, QDate(2026, 12, 5)},
                    });
  // A lone day in January comes from December of last year.
  expectAll(QDate(2027, 1, 10), {{"15", 255, QDate(2026, 12, 15)}});
}

TEST_F(ParseDateTextTest, LoneDayMissingInLastMonthComesFromTheMonthBefore) {
  expectAll(kToday, {{"31", 255, QDate(2026, 10, 31)}, {"32", 255, kNoDate}});
  expectAll(QDate(2026, 3, 7), {
                                   {"29", 255, QDate(2026, 1, 29)},
                                   {"30", 255, QDate(2026, 1, 30)},
                                   {"31", 255, QDate(2026, 1, 31)},
                                   {"28", 255, QDate(2026, 2, 28)},
                               });
  expectAll(QDate(2024, 3, 7), {{"29", 255, QDate(2024, 2, 29)}});
}

TEST_F(ParseDateTextTest, DayZeroGivesToday) {
  expectAll(kToday, {
                        {"0", 255, kToday},
                        {"0.5.2020", 255, kToday},
                        {".3.2020", 255, kToday},
                        {".3.", 255, kToday},
                        {".", 255, kToday},
                        {"00", 0, kToday},
                    });
}

TEST_F(ParseDateTextTest, RejectsWhatIsNotADate) {
  expectAll(kToday, {
                        {"", 255, kNoDate},
                        {"    ", 255, kNoDate},
                        {"^", 255, kNoDate},
                        {"abc", 255, kNoDate},
                        {"31.4.2026", 255, kNoDate},
                        {"30.2.2024", 255, kNoDate},
                        {"29.2.2026", 255, kNoDate},
                        {"29.2.", 255, kNoDate},
                        {"5.13.", 255, kNoDate},
                        {"1.2.3.4.5", 255, kNoDate},
                        {"5.x.2020", 255, kNoDate},
                        {"5a", 255, kNoDate},
                        {"\t5", 255, kNoDate},
                        {"-5.3.2020", 255, kNoDate},
                        {"5.3.-5", 255, kNoDate},
                        {"+5", 255, kNoDate},
                        {"1.1.10000", 255, kNoDate},
                        {"5.3.99999999999", 255, kNoDate},
                    });
}

TEST_F(ParseDateTextTest, Mode255MovesCompletedCenturyIntoThePast) {
  expectAll(kToday, {
                        {"5.3.99", 255, QDate(1999, 3, 5)},
                        {"050399", 255, QDate(1999, 3, 5)},
                        {"5.3.26", 255, QDate(2026, 3, 5)},
                        {"7.12.26", 255, QDate(2026, 12, 7)},
                        {"8.12.26", 255, QDate(1926, 12, 8)},
                        {"24.12.26", 255, QDate(1926, 12, 24)},
                        {"1.1.5", 255, QDate(2005, 1, 1)},
                    });
  expectAll(QDate(2000, 1, 5), {{"1.1.99", 255, QDate(1999, 1, 1)}});
}

TEST_F(ParseDateTextTest, TypedYearZeroIsTheCenturyYear) {
  expectAll(kToday, {
                        {"5.3.00", 255, QDate(2000, 3, 5)},
                        {"050300", 255, QDate(2000, 3, 5)},
                        {"5.3.0", 255, QDate(2000, 3, 5)},
                    });
}

TEST_F(ParseDateTextTest, Mode0MovesDatesBeyondTheRecentPastWindowOneYearOn) {
  expectAll(kToday, {
                        {"5.3.", 0, QDate(2027, 3, 5)},
                        {"18.10.", 0, QDate(2026, 10, 18)},  // exactly 50 days back
                        {"17.10.", 0, QDate(2027, 10, 17)},
                        {"15", 0, QDate(2026, 11, 15)},
                        {"5.3.20", 0, QDate(2021, 3, 5)},
                        {"5.3.2020", 0, QDate(2020, 3, 5)},
                        {"24.12.", 0, QDate(2026, 12, 24)},
                        {"29.2.24", 0, kNoDate},
                    });
  tools::RecentPastWindowDays = 10;
  expectAll(kToday, {{"15", 0, QDate(2027, 11, 15)}});
}

TEST_F(ParseDateTextTest, Mode1MovesPastDatesIntoTheFuture) {
  expectAll(kToday, {
                        {"5", 1, QDate(2027, 1, 5)},
                        {"15", 1, QDate(2026, 12, 15)},
                        {"7", 1, QDate(2026, 12, 7)},
                        {"5.3.", 1, QDate(2027, 3, 5)},
                        {"24.12.", 1, QDate(2026, 12, 24)},
                        {"5.3.26", 1, QDate(2027, 3, 5)},
                        {"5.3.2020", 1, QDate(2020, 3, 5)},
                    });
  expectAll(QDate(2026, 2, 10), {{"31", 1, kNoDate}});  // 31 January moved to 31 February
}

TEST_F(ParseDateTextTest, Mode2RaisesCompletedYearToEarliestYear) {
  expectAll(kToday, {
                        {"24.12.", 2, QDate(2025, 12, 24)},
                        {"5.3.99", 2, QDate(2099, 3, 5)},
                    });
  tools::EarliestCompletedYear = 2027;
  expectAll(kToday, {
                        {"5.3.", 2, QDate(2027, 3, 5)},
                        {"5.3.", 255, QDate(2026, 3, 5)},
                        {"5.3.2020", 2, QDate(2020, 3, 5)},
                    });
}

TEST_F(ParseDateTextTest, OtherModesDoNotMoveTheDate) {
  expectAll(kToday, {
                        {"5.3.99", 7, QDate(2099, 3, 5)},
                        {"24.12.", 100, QDate(2025, 12, 24)},
                        {"5.3.", 3, QDate(2026, 3, 5)},
                    });
}

TEST_F(ParseDateTextTest, TodayDefaultsToTheSystemDate) {
  tools::SetTodayForTesting(std::nullopt);
  EXPECT_EQ(tools::ParseDateText(QStringLiteral("0"), 255), QDate::currentDate());
}

}  // namespace
