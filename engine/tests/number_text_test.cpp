// Value texts built without printf read exactly as printf's, whatever the value; a date
// pattern kept from one call to the next follows a changed pattern; code-page conversion copies
// runs of plain bytes whole without losing the bytes between them; dump text is escaped only
// where a character needs it; value texts of every length read as stored.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "format/code_page.h"
#include "format/number_text.h"
#include "format/record_format.h"
#include "format/value_codec.h"

namespace engine {
namespace {

std::string Printf(const char* format, int width, long long v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, width, v);
  return buf;
}

std::string PrintfGeneral(int precision, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", precision, v);
  return buf;
}

TEST(NumberText, PaddedIntegersReadAsPrintf) {
  const std::vector<int64_t> values = {0, 1, 9, 10, -1, -9, -10, -12, 99, 100, 123456, -123456,
                                       std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()};
  for (const int64_t v : values) {
    for (int width = 1; width <= 5; ++width) {
      std::string out = "x";
      AppendPadded(out, v, width);
      EXPECT_EQ(out, "x" + Printf("%0*lld", width, static_cast<long long>(v))) << v << " width " << width;
    }
  }
}

TEST(NumberText, GeneralFormReadsAsPrintfForAnyBits) {
  std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 1e15, 1e16, 1e17, 123456789012345678.0,
                                1e-5, 1e-4, 0.00012345, 999999999999999.9, 1234.5, -1234.5,
                                std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                                // where the layout turns from fixed to exponent, and 15 against 16 digits
                                1e14, 99999999999999.9, 123456789012345.0, 1234567890123456.0, 0.1 + 0.2,
                                9.99999999999999e-5, 0.000100000000000001, -2.5e-300, 1.7976931348623e308,
                                std::numeric_limits<double>::min() * 0.5, 22.0 / 7.0, 1e-4, 0.95, 9.5, 99.5,
                                0.125, 2.5, 999999999999999.0, 0.00010000000000000002};
  std::mt19937_64 random(12);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);
    values.push_back(static_cast<double>(bits % 10000000) / 100.0);  // money-like amounts
  }
  for (const double v : values) {
    for (const int precision : {1, 6, 15, 17}) {
      std::string out;
      AppendGeneral(out, v, precision);
      ASSERT_EQ(out, PrintfGeneral(precision, v)) << precision;
    }
  }
  EXPECT_EQ(FormatDouble17(0.1), "0.10000000000000001");
}

// Amounts in whole hundredths take a short way for "%.15g"; around its limits (the size, the
// hundredths a double cannot hold exactly, halves) and beyond them the text stays printf's.
TEST(NumberText, HundredthsReadAsPrintfAtTheEdgesOfTheShortWay) {
  std::vector<double> values = {0.01, -0.01, 0.05, 0.1, -0.1, 0.29, 1.005, 2.675, 1.1, 100.0, 1234.5, -1234.56,
                                0.015, 0.001, 1e-3, 9999999999999.99, -9999999999999.99, 1e13, 1e13 + 0.5,
                                99999999999.995, 12345678901.23, 4503599627370495.5, 0.3, 0.1 + 0.2, 5e-324};
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const int64_t cents = static_cast<int64_t>(random() % 2000000000000001) - 1000000000000000;
    values.push_back(static_cast<double>(cents) / 100.0);
    values.push_back(static_cast<double>(cents) / 1000.0);
  }
  for (const double v : values) {
    std::string out;
    AppendGeneral(out, v, 15);
    ASSERT_EQ(out, PrintfGeneral(15, v)) << v;
    char text[kHundredthsChars];
    if (char* end = WriteHundredths(text, v)) {
      ASSERT_EQ(std::string(text, end), PrintfGeneral(15, v)) << v;
    }
  }
  char text[kHundredthsChars];
  EXPECT_EQ(WriteHundredths(text, 0.0), nullptr);  // "0" and "-0" go the long way
  EXPECT_EQ(WriteHundredths(text, -0.0), nullptr);
  EXPECT_EQ(WriteHundredths(text, 0.001), nullptr);
  EXPECT_EQ(WriteHundredths(text, 1e13), nullptr);
}

TEST(NumberText, HexOfBytes) {
  const uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
  std::string out = "#";
  AppendHex(out, bytes, sizeof bytes);
  EXPECT_EQ(out, "#000fa5ff");
  EXPECT_EQ(Fnv1a64Hex("a"), "af63dc4c8601ec8c");
}

TEST(NumberText, IsoDatesAndTimesAtTheirEdges) {
  EXPECT_EQ(FormatIsoDate(DayNumberFromCivil(1, 1, 1)), "0001-01-01");
  EXPECT_EQ(FormatIsoDate(DayNumberFromCivil(0, 12, 31)), "0000-12-31");
  EXPECT_EQ(FormatIsoDate(DayNumberFromCivil(-44, 3, 15)), "-0044-03-15");
  EXPECT_EQ(FormatIsoDate(DayNumberFromCivil(12345, 6, 7)), "12345-06-07");
  EXPECT_EQ(FormatIsoTime(0), "00:00:00.000");
  EXPECT_EQ(FormatIsoTime(86399999), "23:59:59.999");
  EXPECT_EQ(FormatIsoTime(-3723004), "-01:02:03.004");
  EXPECT_EQ(FormatIsoTime(int64_t{100} * 3600000), "100:00:00.000");
}

TEST(RecordText, ShortDatePatternFollowsAChangedPattern) {
  const int32_t day = DayNumberFromCivil(2007, 3, 9);
  EXPECT_EQ(FormatShortDate(day, "dd.mm.yyyy"), "09.03.2007");
  EXPECT_EQ(FormatShortDate(day, "m/d/yy"), "3/9/07");
  EXPECT_EQ(FormatShortDate(day, "dd.mm.yyyy"), "09.03.2007");
  EXPECT_EQ(FormatShortDate(day, "ddd, yyyyy"), "09, 2007");
  EXPECT_EQ(FormatShortDate(day, ""), "");
  EXPECT_EQ(FormatShortDate(DayNumberFromCivil(-5, 1, 2), "yyyy/yy"), "-005/95");
  EXPECT_EQ(FormatShortDate(DayNumberFromCivil(98765, 11, 30), "d.m.yyyy"), "30.11.98765");
  // A pattern longer than the text built on the stack.
  const std::string filler(80, '-');
  EXPECT_EQ(FormatShortDate(day, "dd" + filler + "yyyy" + filler + "m"), "09" + filler + "2007" + filler + "3");
  const FieldLayout date = {PxType::Date, 4, 0, 4};
  uint8_t stored[4];
  EncodeIntValue(day, stored, 4);
  EXPECT_EQ(DisplayText(date, stored, CodePage::Get(1252), "yyyy" + filler + "dd"), "2007" + filler + "09");
}

// Patterns of one day, month and year part are written from a prepared text, others part by
// part: every day of the years 1 to 9999 reads the same either way, as the parts give it.
TEST(RecordText, PreparedDatePatternsWriteWhatThePartsSay) {
  const ShortDatePattern dotted("dd.mm.yyyy"), iso("YYYY-MM-DD"), shortYear("mm/dd/yy"), twice("dd.mm.yyyy (dd)");
  char text[ShortDatePattern::kStackChars];
  for (int32_t day = 1; day <= DayNumberFromCivil(9999, 12, 31); day += 13) {
    int y, m, d;
    CivilFromDayNumber(day, &y, &m, &d);
    char expected[4][40];
    std::snprintf(expected[0], sizeof expected[0], "%02d.%02d.%04d", d, m, y);
    std::snprintf(expected[1], sizeof expected[1], "%04d-%02d-%02d", y, m, d);
    std::snprintf(expected[2], sizeof expected[2], "%02d/%02d/%02d", m, d, y % 100);
    std::snprintf(expected[3], sizeof expected[3], "%02d.%02d.%04d (%02d)", d, m, y, d);
    const ShortDatePattern* patterns[] = {&dotted, &iso, &shortYear, &twice};
    for (int k = 0; k < 4; ++k)
      ASSERT_EQ(std::string(text, patterns[k]->Write(text, day)), expected[k]) << patterns[k]->Text() << " " << day;
  }
}

// The length of a stored text ends at its first 0 byte or at the field's end, wherever that falls
// in a word of eight; a byte that is not plain is seen before it and not after it.
TEST(CodePageText, TextLengthStopsAtTheFirstZeroAndSeesEveryByteBeforeIt) {
  const CodePage& cp = CodePage::Get(1252);
  for (size_t n = 1; n <= 20; ++n) {
    for (size_t zero = 0; zero <= n; ++zero) {
      for (size_t high = 0; high <= n; ++high) {
        std::string bytes(n, 'a');
        if (high < n) bytes[high] = '\xE4';
        if (zero < n) bytes[zero] = '\0';
        if (zero + 1 < n) bytes[zero + 1] = '\xFC';  // after the end: no matter
        bool plain = true;
        const size_t length = cp.TextLength(reinterpret_cast<const uint8_t*>(bytes.data()), n, &plain);
        ASSERT_EQ(length, zero) << n << " " << zero << " " << high;
        ASSERT_EQ(plain, !(high < zero)) << n << " " << zero << " " << high;
      }
    }
  }
  bool plain = false;
  EXPECT_EQ(CodePage::Get(437).TextLength(reinterpret_cast<const uint8_t*>("Kunde 1234567"), 13, &plain), 13u);
  EXPECT_TRUE(plain);
}

TEST(RecordText, DumpTextEscapesOnlyWhereNeeded) {
  EXPECT_EQ(EscapeDumpText(""), "");
  EXPECT_EQ(EscapeDumpText("Kunde 12"), "Kunde 12");
  EXPECT_EQ(EscapeDumpText("\\"), "\\\\");
  EXPECT_EQ(EscapeDumpText("Zeile 1\r\nZeile 2\t"), "Zeile 1\\r\\nZeile 2\\t");
}

// Alpha values are read eight bytes at a time, the last word taken whole from the field: the text
// of every length in fields of every size reads as stored, bytes after its end (in the field and
// in the next one) never count, and a character to escape or convert is seen wherever it stands.
TEST(RecordText, AlphaTextsOfEveryLengthReadAsStored) {
  const CodePage& cp = CodePage::Get(1252);
  for (size_t n = 1; n <= 40; ++n) {
    const FieldLayout f = {PxType::Alpha, static_cast<uint8_t>(n), 3, n};
    for (size_t length = 0; length <= n; ++length) {
      for (size_t special = 0; special <= length; ++special) {
        for (const char c : {'\t', '\\', '\xE4'}) {
          // Bytes to escape around the field; the field last in the record where `c` is a tab.
          std::vector<uint8_t> record(3 + n + (c == '\t' ? 0 : 8), '\\');
          std::string text;
          for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + (i * 7 + n) % 26));
          if (special < length) text[special] = c;
          std::copy(text.begin(), text.end(), record.begin() + 3);
          if (length < n) {
            record[3 + length] = 0;
            std::fill(record.begin() + 3 + static_cast<long>(length) + 1, record.begin() + 3 + static_cast<long>(n), '\t');
          }
          const std::string utf8 = cp.ToUtf8(text);
          ASSERT_EQ(DisplayText(f, record.data(), cp, "dd.mm.yyyy"), utf8) << n << " " << length << " " << special;
          ASSERT_EQ(DumpText(f, record.data(), cp), EscapeDumpText(utf8)) << n << " " << length << " " << special;
        }
      }
    }
  }
}

// Numbers and dates are written on the stack and made into strings held inline when short enough:
// texts on either side of that length read as printf's.
TEST(RecordText, DisplayTextsOnBothSidesOfTheInlineLength) {
  const CodePage& cp = CodePage::Get(1252);
  const FieldLayout integer = {PxType::Long, 4, 0, 4};
  for (const int32_t v : {1, -1, 9, 10, 99999999, 2147483647, -2147483647}) {
    uint8_t stored[4];
    EncodeIntValue(v, stored, 4);
    EXPECT_EQ(DisplayText(integer, stored, cp, "dd.mm.yyyy"), std::to_string(v));
  }
  const FieldLayout money = {PxType::Money, 8, 0, 8};
  for (const double v : {0.01, -0.5, 123456789012.34, -123456789012.34, 9999999999999.99, -9999999999999.99,
                         0.1 + 0.2, 1e20, -1.5e-7}) {
    uint8_t stored[8];
    EncodeDoubleValue(v, stored);
    EXPECT_EQ(DisplayText(money, stored, cp, "dd.mm.yyyy"), PrintfGeneral(15, v)) << v;
  }
  const FieldLayout date = {PxType::Date, 4, 0, 4};
  uint8_t stored[4];
  EncodeIntValue(DayNumberFromCivil(2007, 3, 9), stored, 4);
  EXPECT_EQ(DisplayText(date, stored, cp, "d.m.yy"), "9.3.07");
  EXPECT_EQ(DisplayText(date, stored, cp, "dd.mm.yyyy (yyyy-mm-dd)"), "09.03.2007 (2007-03-09)");
}

TEST(CodePageText, RunsOfPlainBytesAroundConvertedOnes) {
  const CodePage& cp = CodePage::Get(1252);
  EXPECT_EQ(cp.ToUtf8(""), "");
  EXPECT_EQ(cp.ToUtf8("Kunde 12"), "Kunde 12");
  EXPECT_EQ(cp.ToUtf8("\xE4pfel"), "\xC3\xA4pfel");
  EXPECT_EQ(cp.ToUtf8("Stra\xDF" "e"), "Stra\xC3\x9F" "e");
  EXPECT_EQ(cp.ToUtf8("Gr\xFC\xDF"), "Gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(cp.ToUtf8(std::string("a\0b\x80", 4)), std::string("a\0b\xE2\x82\xAC", 6));
  EXPECT_EQ(CodePage::Get(437).ToUtf8("x\x84y\xB3z"), "x\xC3\xA4y\xE2\x94\x82z");
}

}  // namespace
}  // namespace engine
