#include "conversion/code_page.h"

#include <gtest/gtest.h>

#include "conversion/encoding.h"
#include "platform/app_error.h"
#include "platform/utf8.h"

namespace delvora {
namespace {

TEST(CodePage, EncodesDelimitersIntoSingleByteCodePages) {
  const CodePage western = CodePage::For(1252);
  EXPECT_EQ(western.Encode(","), ",");
  EXPECT_EQ(western.Encode("\xE2\x82\xAC"), "\x80");         // euro sign
  EXPECT_EQ(western.Encode("\xC3\xA9;"), "\xE9;");           // é
  EXPECT_EQ(western.Encode("\xE2\x80\x94"), "\x97");         // em dash
  EXPECT_EQ(western.Encode("\xC2\xA0"), "\xA0");             // no-break space
  EXPECT_EQ(western.Encode("\xE6\x97\xA5"), std::nullopt);   // not in the code page
  EXPECT_EQ(western.Encode("a\xE6\x97\xA5"), std::nullopt);  // one missing character is enough
  EXPECT_EQ(western.Encode("\xFF"), std::nullopt);           // not UTF-8
  EXPECT_EQ(western.Encode(""), "");
  EXPECT_EQ(western.lead_bytes(), nullptr);

  const CodePage latin1 = CodePage::For(28591);
  EXPECT_EQ(latin1.Encode("\xE2\x82\xAC"), std::nullopt);
  EXPECT_EQ(latin1.Encode("\xC2\x80"), "\x80");
}

TEST(CodePage, Utf8AndTwoByteCodePages) {
  const CodePage utf8 = CodePage::For(65001);
  EXPECT_EQ(utf8.Encode("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8.Encode("\xED\xA0\x80"), std::nullopt);  // an encoded surrogate
  EXPECT_EQ(utf8.Encode("\xC0\xAC"), std::nullopt);      // an overlong comma
  EXPECT_EQ(utf8.lead_bytes(), nullptr);

  const CodePage japanese = CodePage::For(932);
  ASSERT_NE(japanese.lead_bytes(), nullptr);
  const auto& lead = *japanese.lead_bytes();
  EXPECT_TRUE(lead[0x81] && lead[0x9F] && lead[0xE0] && lead[0xFC]);
  EXPECT_FALSE(lead[0x80] || lead[0xA0] || lead[0xDF] || lead[0xFD] || lead['|'] || lead['\n']);
  EXPECT_EQ(japanese.Encode("|"), "|");
  const CodePage chinese = CodePage::For(936);
  ASSERT_NE(chinese.lead_bytes(), nullptr);
  EXPECT_TRUE((*chinese.lead_bytes())[0xFE]);
  EXPECT_FALSE((*chinese.lead_bytes())[0xFF]);
#ifndef _WIN32
  EXPECT_EQ(japanese.Encode("\xE6\x97\xA5"), std::nullopt);
  EXPECT_THROW(CodePage::For(437), AppError);
#endif
  EXPECT_THROW(CodePage::For(0xFFFFFu), AppError);
}

TEST(Utf8Text, DecodesOnlyValidUtf8) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xF0\x9F\x98\x80"), std::u16string(u"a\u00E9\U0001F600"));
  EXPECT_EQ(Utf8ToUtf16(""), std::u16string());
  for (const char* bad : {"\x80", "\xC3", "\xE2\x82", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                          "\xE0\x80\xAF", "\xC1\xBF", "\xED\xBF\xBF"})
    EXPECT_EQ(Utf8ToUtf16(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace delvora
