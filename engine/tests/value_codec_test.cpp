// Field value encodings against the byte examples of the format, the text forms of the dump and
// of the display, and code page conversion.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "format/code_page.h"
#include "format/record_format.h"
#include "format/value_codec.h"

namespace engine {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ValueCodec, IntegersAreBigEndianWithTheSignBitFlipped) {
  struct Case {
    int32_t value;
    Bytes bytes;
  };
  const std::vector<Case> shorts = {{1, {0x80, 0x01}}, {256, {0x81, 0x00}}, {-1, {0x7F, 0xFF}},
                                    {-2, {0x7F, 0xFE}}, {32767, {0xFF, 0xFF}}, {-32767, {0x00, 0x01}}};
  for (const auto& c : shorts) {
    Bytes b(2);
    EncodeIntValue(c.value, b.data(), 2);
    EXPECT_EQ(b, c.bytes) << c.value;
    EXPECT_EQ(DecodeIntValue(c.bytes.data(), 2), c.value);
    EXPECT_FALSE(IsNullValue(PxType::Short, c.bytes.data(), 2));
  }
  const std::vector<Case> longs = {{1, {0x80, 0x00, 0x00, 0x01}}, {-1, {0x7F, 0xFF, 0xFF, 0xFF}},
                                   {2147483647, {0xFF, 0xFF, 0xFF, 0xFF}}};
  for (const auto& c : longs) {
    Bytes b(4);
    EncodeIntValue(c.value, b.data(), 4);
    EXPECT_EQ(b, c.bytes) << c.value;
    EXPECT_EQ(DecodeIntValue(c.bytes.data(), 4), c.value);
  }
  const Bytes zero = {0, 0, 0, 0};
  EXPECT_TRUE(IsNullValue(PxType::Long, zero.data(), 4));
}

TEST(ValueCodec, DoublesSortAsBytes) {
  struct Case {
    double value;
    Bytes bytes;
  };
  const std::vector<Case> cases = {
      {3.5, {0xC0, 0x0C, 0, 0, 0, 0, 0, 0}},
      {-3.5, {0x3F, 0xF3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {0.0, {0x80, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    Bytes b(8);
    EncodeDoubleValue(c.value, b.data());
    EXPECT_EQ(b, c.bytes) << c.value;
    EXPECT_EQ(DecodeDoubleValue(c.bytes.data()), c.value);
    EXPECT_FALSE(IsNullValue(PxType::Number, c.bytes.data(), 8)) << "0.0 is a value, not null";
  }
  // Byte order equals value order.
  const std::vector<double> ascending = {-1e300, -3.5, -0.25, 0.0, 1e-300, 0.25, 3.5, 1e300};
  for (size_t i = 1; i < ascending.size(); ++i) {
    Bytes a(8), b(8);
    EncodeDoubleValue(ascending[i - 1], a.data());
    EncodeDoubleValue(ascending[i], b.data());
    EXPECT_LT(a, b) << ascending[i - 1] << " < " << ascending[i];
  }
}

TEST(ValueCodec, DatesTimesAndTimestamps) {
  EXPECT_EQ(DayNumberFromCivil(1, 1, 1), 1);
  EXPECT_EQ(DayNumberFromCivil(100, 1, 1), 36160);
  EXPECT_EQ(DayNumberFromCivil(1996, 5, 4), 728783);
  EXPECT_EQ(DayNumberFromCivil(2018, 1, 1), 736695);
  const Bytes stored = {0x80, 0x0B, 0x3D, 0xB7};
  EXPECT_EQ(FormatIsoDate(DecodeIntValue(stored.data(), 4)), "2018-01-01");
  EXPECT_EQ(FormatIsoDate(0), "0000-12-31");
  EXPECT_EQ(FormatIsoDate(-365), "0000-01-01");  // year 0 is a leap year
  EXPECT_EQ(FormatIsoDate(-366), "-0001-12-31");

  const Bytes time = {0x80, 0x36, 0xF2, 0x68};
  EXPECT_EQ(FormatIsoTime(DecodeIntValue(time.data(), 4)), "01:00:01.000");
  const Bytes midnight = {0x80, 0, 0, 0};
  EXPECT_FALSE(IsNullValue(PxType::Time, midnight.data(), 4));

  const Bytes stamp = {0xC2, 0xCC, 0xF9, 0x8A, 0xCB, 0x19, 0x34, 0x00};
  EXPECT_EQ(FormatIsoTimestamp(DecodeDoubleValue(stamp.data())), "2020-02-01 01:00:01.000");
}

// Every day number, within the years 1 to 9999 and a little beyond them on both sides, reads
// as a valid date that gives the same day number back, one day after the date before it.
TEST(ValueCodec, EveryDayReadsAsTheDateAfterTheDayBefore) {
  const int32_t first = DayNumberFromCivil(1, 1, 1) - 800;
  const int32_t last = DayNumberFromCivil(9999, 12, 31) + 800;
  int y0, m0, d0;
  CivilFromDayNumber(first - 1, &y0, &m0, &d0);
  for (int32_t day = first; day <= last; ++day) {
    int y, m, d;
    CivilFromDayNumber(day, &y, &m, &d);
    ASSERT_TRUE(IsValidCivilDate(y, m, d)) << day;
    ASSERT_EQ(DayNumberFromCivil(y, m, d), day);
    const bool nextDay = y == y0 && m == m0 && d == d0 + 1;
    const bool nextMonth = y == y0 && m == m0 + 1 && d == 1;
    const bool nextYear = y == y0 + 1 && m == 1 && d == 1 && m0 == 12 && d0 == 31;
    ASSERT_TRUE(nextDay || nextMonth || nextYear) << day;
    y0 = y, m0 = m, d0 = d;
  }
  int y, m, d;
  CivilFromDayNumber(DayNumberFromCivil(9999, 12, 31) + 1, &y, &m, &d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 100000101);
}

TEST(ValueCodec, BcdExamples) {
  struct Case {
    std::string text;
    int decimals;
    Bytes bytes;  // 17 bytes
  };
  auto bcd = [](uint8_t head, uint8_t fill, std::vector<uint8_t> tail) {
    Bytes b(17, fill);
    b[0] = head;
    std::copy(tail.begin(), tail.end(), b.end() - static_cast<long>(tail.size()));
    return b;
  };
  const std::vector<Case> cases = {
      {"1.23", 2, bcd(0xC2, 0x00, {0x01, 0x23})},
      {"-1.23", 2, bcd(0x42, 0xFF, {0xFE, 0xDC})},
      {"0.00", 2, bcd(0xC2, 0x00, {})},
      {"12", 0, bcd(0xC0, 0x00, {0x12})},
  };
  for (const auto& c : cases) {
    Bytes b(17);
    ASSERT_TRUE(EncodeBcdValue(c.text, c.decimals, b.data())) << c.text;
    EXPECT_EQ(b, c.bytes) << c.text;
    EXPECT_EQ(DecodeBcdValue(c.bytes.data(), c.decimals).value_or("?"), c.text);
  }
  // Not a decimal: a nibble above 9, or a decimal count other than the field's.
  Bytes stray = bcd(0xC2, 0x00, {0x01, 0x2A});
  EXPECT_FALSE(DecodeBcdValue(stray.data(), 2).has_value());
  Bytes otherScale = bcd(0xC3, 0x00, {0x01});
  EXPECT_FALSE(DecodeBcdValue(otherScale.data(), 2).has_value());
  // More decimal places than the 32 digits hold, named alike by the value and the field.
  for (int decimals : {33, 40, 63}) {
    Bytes beyond = bcd(static_cast<uint8_t>(0xC0 | decimals), 0x00, {0x01});
    EXPECT_FALSE(DecodeBcdValue(beyond.data(), decimals).has_value()) << decimals;
  }
}

TEST(RecordText, DumpAndDisplayForms) {
  // One record with a field of each kind: A5, S, N, D, L, Y3, @, T.
  const std::vector<FieldLayout> layout = {
      {PxType::Alpha, 5, 0, 5},    {PxType::Short, 2, 5, 2},     {PxType::Number, 8, 7, 8},
      {PxType::Date, 4, 15, 4},    {PxType::Logical, 1, 19, 1},  {PxType::Bytes, 3, 20, 3},
      {PxType::Timestamp, 8, 23, 8}, {PxType::Time, 4, 31, 4},
  };
  Bytes rec(35, 0);
  rec[0] = 'a';
  rec[1] = '\t';
  rec[2] = 0xE4;  // ä in 1252
  EncodeIntValue(-42, &rec[5], 2);
  EncodeDoubleValue(0.1, &rec[7]);
  EncodeIntValue(DayNumberFromCivil(1996, 5, 4), &rec[15], 4);
  EncodeLogicalValue(true, &rec[19]);
  rec[20] = 0x01;
  rec[21] = 0xAB;
  rec[22] = 0x00;
  EncodeDoubleValue(DayNumberFromCivil(2020, 2, 1) * 86400000.0 + 3601000.0, &rec[23]);
  EncodeIntValue(45296000, &rec[31], 4);  // 12:34:56
  const CodePage& cp = CodePage::Get(1252);
  const std::vector<std::string> dump = {"a\\t\xC3\xA4", "-42", "0.10000000000000001", "1996-05-04",
                                         "true", "01ab00", "2020-02-01 01:00:01.000", "12:34:56.000"};
  const std::vector<std::string> display = {"a\t\xC3\xA4", "-42", "0.1", "04.05.1996",
                                            "True", "01ab00", "01.02.2020 01:00:01", "12:34:56"};
  for (size_t i = 0; i < layout.size(); ++i) {
    EXPECT_EQ(DumpText(layout[i], rec.data(), cp), dump[i]) << i;
    EXPECT_EQ(DisplayText(layout[i], rec.data(), cp, "dd.mm.yyyy"), display[i]) << i;
  }
  const Bytes nulls(35, 0);
  for (const auto& f : layout) {
    EXPECT_EQ(DumpText(f, nulls.data(), cp), "");
    EXPECT_EQ(DisplayText(f, nulls.data(), cp, "dd.mm.yyyy"), "");
  }
}

// A timestamp that is not a number, infinite or too far from year 1 for a day number is shown
// as not readable, like a BCD value that is not a decimal, both in the dump and on display.
TEST(RecordText, TimestampOutsideTheDaysReadsAsUnreadable) {
  const FieldLayout stamp = {PxType::Timestamp, 8, 0, 8};
  const double firstDayPast = 2147483648.0 * 86400000.0;  // day number 2^31
  const std::vector<double> values = {std::nan(""), INFINITY, -INFINITY, 9223372036854775808.0,
                                      -9223372036854775808.0, 1e300, -1e300, firstDayPast, -firstDayPast};
  const CodePage& cp = CodePage::Get(1252);
  for (double v : values) {
    Bytes rec(8);
    EncodeDoubleValue(v, rec.data());
    EXPECT_EQ(DumpText(stamp, rec.data(), cp), "?") << v;
    EXPECT_EQ(DisplayText(stamp, rec.data(), cp, "dd.mm.yyyy"), "?") << v;
  }
  // The last readable day still reads as a date.
  Bytes last(8);
  EncodeDoubleValue(firstDayPast - 86400000.0, last.data());
  EXPECT_NE(DumpText(stamp, last.data(), cp), "?");
}

TEST(RecordText, ShortDatePatterns) {
  const int32_t day = DayNumberFromCivil(2007, 3, 9);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"dd.mm.yyyy", "09.03.2007"}, {"d.m.yy", "9.3.07"}, {"yyyy-mm-dd", "2007-03-09"},
      {"MM/DD/YYYY", "03/09/2007"}};
  for (const auto& [pattern, text] : cases) EXPECT_EQ(FormatShortDate(day, pattern), text) << pattern;
}

TEST(RecordText, EscapesAndHashes) {
  EXPECT_EQ(EscapeDumpText("a\\b\tc\nd\re\x01"), "a\\\\b\\tc\\nd\\re\x01");
  EXPECT_EQ(Fnv1a64Hex(""), "cbf29ce484222325");
  EXPECT_EQ(Fnv1a64Hex("a"), "af63dc4c8601ec8c");
}

TEST(CodePageText, SingleAndMultiByteConversion) {
  struct Case {
    int codePage;
    std::string bytes;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {1252, "\xE4\xF6\xFC\xDF\x80", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xE2\x82\xAC"},  // äöüß€
      {1252, "\x81", "\xEF\xBF\xBD"},                                                  // undefined
      {437, "\x84\xB3", "\xC3\xA4\xE2\x94\x82"},                                       // ä│
      {850, "\x84", "\xC3\xA4"},
      {866, "\x80", "\xD0\x90"},                                                       // А
      {1251, "\xC0", "\xD0\x90"},
      {0, "\x84", "\xC3\xA4"},                                                         // unknown → 437
      {936, "\xC4\xE3\xBA\xC3", "\xE4\xBD\xA0\xE5\xA5\xBD"},                           // 你好
      {936, "A\xFF" "B", "A\xEF\xBF\xBD" "B"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CodePage::Get(c.codePage).ToUtf8(c.bytes), c.utf8) << c.codePage;
    std::string back;
    if (c.utf8.find("\xEF\xBF\xBD") == std::string::npos && c.codePage != 0) {
      ASSERT_TRUE(CodePage::Get(c.codePage).FromUtf8(c.utf8, &back)) << c.codePage;
      EXPECT_EQ(back, c.bytes) << c.codePage;
    }
  }
}

}  // namespace
}  // namespace engine
