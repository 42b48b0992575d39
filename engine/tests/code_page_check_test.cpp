// Whether text bytes fit a code page: pages that define every byte take any text; others refuse
// their undefined bytes wherever they stand, also after a run of ASCII passed over in words.

#include <gtest/gtest.h>

#include <string>

#include "format/code_page.h"
#include "format/code_page_check.h"

namespace engine {
namespace {

bool Fits(int page, const std::string& text) { return CodePageCheck(CodePage::Get(page)).Fits(text.data(), text.size()); }

TEST(CodePageCheck, APageDefiningEveryByteTakesAnyText) {
  EXPECT_TRUE(CodePageCheck(CodePage::Get(437)).FitsAnyText());
  EXPECT_TRUE(Fits(437, std::string("M\x81ller \xFF\x80", 9)));
  EXPECT_FALSE(CodePageCheck(CodePage::Get(1252)).FitsAnyText());
  EXPECT_FALSE(CodePageCheck(CodePage::Get(936)).FitsAnyText());
}

TEST(CodePageCheck, UndefinedBytesAreFoundAtAnyPlace) {
  const std::string ascii = "Kundennummer 0815";  // two words and a tail
  EXPECT_TRUE(Fits(1252, ascii));
  EXPECT_TRUE(Fits(1252, ascii + "\xE4"));  // ä
  for (size_t at : {size_t{0}, size_t{7}, size_t{8}, size_t{15}, ascii.size()}) {
    EXPECT_FALSE(Fits(1252, ascii.substr(0, at) + "\x81" + ascii.substr(at))) << at;  // undefined in 1252
  }
  EXPECT_TRUE(Fits(1252, ""));
}

TEST(CodePageCheck, TheMultiBytePageChecksSequences) {
  EXPECT_TRUE(Fits(936, "Kunde \xC4\xE3\xBA\xC3 12345678"));
  EXPECT_FALSE(Fits(936, "Kunde 12345678 \xC4"));  // a lead byte without its second byte
}

}  // namespace
}  // namespace engine
