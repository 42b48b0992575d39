// Numbers typed and read under a German C locale. A window program sets the C library's locale
// from the user's environment, and under de_DE the library's strtod stops at the "." of
// "12.5": the engine must read and write numbers the same whatever that locale is.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "component/table.h"
#include "format/value_parse.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/temp_dir.h"

namespace {

using engine::TTable;

// Switches the C library's numeric locale to German for its lifetime, compiling de_DE into a
// temporary folder when the system has no such locale. Active() is false where neither works.
class GermanNumericLocale {
 public:
  GermanNumericLocale() {
    previous_ = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
      const std::string command = "localedef -i de_DE -f UTF-8 " + folder_.Path() + "de_DE.UTF-8 >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) return;
      setenv("LOCPATH", folder_.Path().c_str(), 1);
      if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) return;
    }
    active_ = std::string(std::localeconv()->decimal_point) == ",";
  }
  ~GermanNumericLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
    unsetenv("LOCPATH");
  }
  bool Active() const { return active_; }

 private:
  testsupport::TempDir folder_;
  std::string previous_;
  bool active_ = false;
};

TEST(NumberLocale, NumbersReadAndWriteAlikeUnderAGermanCLocale) {
  const GermanNumericLocale german;
  if (!german.Active()) GTEST_SKIP() << "no German locale can be made here (localedef, package locales)";
  ASSERT_EQ(std::strtod("12.5", nullptr), 12.0) << "the C library reads numbers the German way now";

  EXPECT_EQ(engine::ParseCNumber("12.5"), 12.5);
  EXPECT_EQ(engine::ParseCNumber(" -0.25e2"), -25.0);
  EXPECT_EQ(engine::ParseCNumber("+3"), 3.0);
  EXPECT_EQ(engine::ParseCNumber("12,5"), std::nullopt);
  EXPECT_EQ(engine::ParseCNumber("+-3"), std::nullopt);
  EXPECT_EQ(engine::ParseCNumber("3 "), std::nullopt);
  EXPECT_EQ(engine::ParseCNumber(""), std::nullopt);

  testsupport::MemoryFileSystem fs;
  TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName("/mem/");
  t.SetTableName("ZAHLEN.DB");
  t.FieldDefs().Add({"Zahl", engine::ftFloat, 0, false});
  t.FieldDefs().Add({"Betrag", engine::ftCurrency, 0, false});
  t.FieldDefs().Add({"Text", engine::ftString, 10, false});
  t.CreateTable();
  t.Open();
  t.Append();
  t.Fields(0).SetAsString("1234.5");
  t.Fields(1).SetAsString("13002,75");
  t.Fields(2).SetAsString("0.125");
  t.Post();
  t.First();
  EXPECT_EQ(t.Fields(0).AsFloat(), 1234.5);
  EXPECT_EQ(t.Fields(1).AsFloat(), 13002.75);
  EXPECT_EQ(t.Fields(2).AsFloat(), 0.125);
  EXPECT_EQ(t.Fields(0).AsString(), "1234.5");
  t.Close();
}

}  // namespace
