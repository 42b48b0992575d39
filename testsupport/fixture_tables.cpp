#include "testsupport/fixture_tables.h"

#include <string>

#include "testsupport/fixture_folder.h"

namespace fs = std::filesystem;

namespace testsupport::fixtures {

namespace {

fs::path Table(const std::string& relative) { return Root() / "tables" / relative; }

// Most samples come from the test resources of one source.
fs::path ParadoxDriverTable(const std::string& relative) {
  return Table("leonhad_paradoxdriver/src/test/resources/" + relative);
}

}  // namespace

fs::path KeyedWithBlobs() { return ParadoxDriverTable("db/CUSTOMER.DB"); }
fs::path Unkeyed() { return ParadoxDriverTable("db/CONTACTS.DB"); }
fs::path KeyedWithoutSecondaryIndex() { return ParadoxDriverTable("db/ORDERS.DB"); }
fs::path AllFieldTypes() { return Table("MedilinkPS_Paradox-Reader/ParadoxTest/data/testtab.DB"); }
fs::path AllFieldTypesLevel7() { return Table("steinm_pxlib/testdata/TypSammlung.DB"); }
fs::path KeyedWithGraphic() { return ParadoxDriverTable("fields/graphic.db"); }

fs::path Level3() { return ParadoxDriverTable("areas/AREACODE.DB"); }
fs::path Level3Keyed() { return ParadoxDriverTable("mtdemo/AMOUNT.DB"); }
fs::path Level35() { return ParadoxDriverTable("fields/date35.db"); }
fs::path Level4() { return Table("celebithil_Rparadox/inst/extdata/of_cp866.db"); }
fs::path Level5() { return ParadoxDriverTable("db/GENERAL.DB"); }
fs::path BlockSize16K() { return ParadoxDriverTable("db/AREACODES.DB"); }
fs::path BlockSize32K() { return Table("WarrenPinnacle_AQUATOX3.1plus/ANIMFORM.DB"); }

fs::path Empty() { return Table("WarrenPinnacle_AQUATOX3.1plus/LOAD4.DB"); }
fs::path OneRecord() { return ParadoxDriverTable("db/ROMAN8.db"); }
fs::path ThreeRecords() { return ParadoxDriverTable("joins/A.db"); }

fs::path TwoSecondaryIndexes() { return ParadoxDriverTable("joins/C.DB"); }
fs::path CompositeSecondaryIndex() { return ParadoxDriverTable("joins/fk4.db"); }
fs::path DescendingSecondaryIndex() { return ParadoxDriverTable("joins/indexed.db"); }
fs::path UnkeyedWithSecondaryIndex() { return ParadoxDriverTable("joins/case.db"); }
fs::path LargeWithSecondaryIndex() { return Table("kymuweb_Paradox-Reader/ParadoxTest/data/zakazky.db"); }

fs::path StalePrimaryIndex() { return ParadoxDriverTable("areas/ZIPCODES.DB"); }
fs::path ChainPastLastBlock() { return Table("t232006_Individual-dictionary/_QSQ1.DB"); }
fs::path HandCorrectedEmptyChain() { return Table("t232006_Individual-dictionary/synch1.db"); }
fs::path PasswordProtected() { return ParadoxDriverTable("encrypt/encrypted.db"); }

std::vector<fs::path> PasswordProtectedTables() {
  return {PasswordProtected(), ParadoxDriverTable("encrypt/encrypted35.db"),
          ParadoxDriverTable("encrypt/encryptedmemo.db")};
}

}  // namespace testsupport::fixtures
