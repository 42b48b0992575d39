#include "testsupport/table_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "testsupport/file_bytes.h"
#include "testsupport/temp_dir.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// A table KUNDEN whose companions are spelt in other letter cases, beside files of other tables.
void WriteKunden(const std::string& dir) {
  for (const char* name : {"KUNDEN.DB", "kunden.px", "Kunden.Mb", "KUNDEN.X02", "KUNDENX.DB", "KUNDEN.DB.~kbnew", "ORTE.DB"})
    std::ofstream(dir + name) << name;
  fs::create_directory(dir + "KUNDEN.VAL");  // a folder, not a companion
}

TEST(TableFiles, FamilyIsEveryFileOfTheBaseNameInAnyLetterCase) {
  TempDir dir;
  WriteKunden(dir.Path());
  const std::vector<fs::path> expected = {dir.Path() + "KUNDEN.DB", dir.Path() + "KUNDEN.X02",
                                          dir.Path() + "Kunden.Mb", dir.Path() + "kunden.px"};
  EXPECT_EQ(TableFamily(dir.Path() + "kunden.db"), expected);
}

TEST(TableFiles, CopyTakesTheFamilyWritableAndRenamedWhenAsked) {
  TempDir source, target;
  WriteKunden(source.Path());
  fs::permissions(source.Path() + "KUNDEN.DB", fs::perms::owner_read);
  EXPECT_EQ(CopyTable(source.Path() + "KUNDEN.DB", target.Path()), target.Path() + "KUNDEN.DB");
  EXPECT_EQ(CopyTable(source.Path() + "KUNDEN.DB", target.Path(), "T1"), target.Path() + "T1.DB");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(target.Path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"KUNDEN.DB", "KUNDEN.X02", "Kunden.Mb", "T1.DB", "T1.Mb", "T1.X02",
                                             "T1.px", "kunden.px"}));
  EXPECT_EQ(ReadText(target.Path() + "T1.px"), "kunden.px");
  EXPECT_NE(fs::status(target.Path() + "KUNDEN.DB").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_THROW(CopyTable(source.Path() + "FEHLT.DB", target.Path()), std::runtime_error);
}

}  // namespace
}  // namespace testsupport
