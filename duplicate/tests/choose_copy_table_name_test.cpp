#include <gtest/gtest.h>

#include "duplicate/choose_copy_table_name.h"

namespace duplicate {
namespace {

TEST(ChooseCopyTableName, FollowsTheDirectoryAndTheSourceName) {
  struct Case {
    const char* source;
    const char* name;
    const char* expected;
  };
  const QString program = QStringLiteral("/opt/kerbolt/");
  const Case cases[] = {
      // Outside the program directory the name is kept, letter case included.
      {"/daten/", "kunden.db", "kunden.db"},
      {"/daten/", "Copy.DB", "Copy.DB"},
      // The directory texts are compared letter for letter.
      {"/opt/Kerbolt/", "kunden.db", "kunden.db"},
      {"/opt/kerbolt", "kunden.db", "kunden.db"},
      // Inside it: any COPY.DB becomes Copy2.DB, everything else Copy.DB.
      {"/opt/kerbolt/", "copy.db", "Copy2.DB"},
      {"/opt/kerbolt/", "COPY.DB", "Copy2.DB"},
      {"/opt/kerbolt/", "Copy.db", "Copy2.DB"},
      {"/opt/kerbolt/", "Copy2.DB", "Copy.DB"},
      {"/opt/kerbolt/", "kunden.db", "Copy.DB"},
      {"/opt/kerbolt/", "COPY.DBX", "Copy.DB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + c.name);
    EXPECT_EQ(ChooseCopyTableName(QString::fromUtf8(c.source), QString::fromUtf8(c.name), program),
              QString::fromUtf8(c.expected));
  }
}

}  // namespace
}  // namespace duplicate
