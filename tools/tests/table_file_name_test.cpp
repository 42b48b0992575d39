#include "tools/table_file_name.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "testsupport/temp_dir.h"

namespace {

class TableFileName : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Kunden.DB", "ORDERS.db", "readme"}) {
      QFile file(dir() + QString::fromLatin1(name));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }
  QString dir() const { return QString::fromStdString(dir_.Path()); }
  QString resolve(const char* typed) {
    return tools::ResolveTableFileName(dir() + QString::fromLatin1(typed), QStringLiteral("db"));
  }

  testsupport::TempDir dir_;
};

TEST_F(TableFileName, FindsTheTableWhateverTheLetterCaseOfNameAndExtension) {
  EXPECT_EQ(resolve("Kunden.DB"), dir() + "Kunden.DB");
  EXPECT_EQ(resolve("Kunden"), dir() + "Kunden.DB");
  EXPECT_EQ(resolve("kunden.db"), dir() + "Kunden.DB");
  EXPECT_EQ(resolve("KUNDEN"), dir() + "Kunden.DB");
  EXPECT_EQ(resolve("orders.DB"), dir() + "ORDERS.db");
}

TEST_F(TableFileName, LeavesANameWithoutMatchAsTyped) {
  EXPECT_EQ(resolve("Lieferanten"), dir() + "Lieferanten");
  // Another extension is not replaced by the default one.
  EXPECT_EQ(resolve("Kunden.txt"), dir() + "Kunden.txt");
  EXPECT_EQ(resolve("README"), dir() + "readme");
  EXPECT_EQ(tools::ResolveTableFileName(dir() + "fehlt/Kunden", QStringLiteral("db")),
            dir() + "fehlt/Kunden");
}

}  // namespace
