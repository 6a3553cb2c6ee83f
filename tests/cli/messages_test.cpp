#include "cli/messages.h"

#include <gtest/gtest.h>

namespace delvora {
namespace {

TEST(Shown, EscapesWhatATerminalWouldActOnAndKeepsTheRest) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"/in/a b.csv", "/in/a b.csv"},
      {"C:\\in\\x.csv", "C:\\in\\x.csv"},
      {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
      {"\x1B[2J\x7F", "\\x1B[2J\\x7F"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\xC2\x9B\xC2\x80", "\\u009B\\u0080"},  // C1 controls
      {"\xC2\xA0\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80",
       "\xC2\xA0\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80"},
      {"\xFF", "\\xFF"},
      {"\xE2\x86", "\\xE2\\x86"},                             // cut short
      {"\xC0\xAF\xED\xA0\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},  // overlong, surrogate
      // Invisible and direction-changing: "x\u202Evsc.exe" reads "xexe.csv".
      {"x\xE2\x80\xAEvsc.exe", "x\\u202Evsc.exe"},
      {"\xE2\x80\x8B\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9\xEF\xBB\xBF",
       "\\u200B\\u200F\\u202A\\u2066\\u2069\\uFEFF"},
      {"\xE2\x80\x8A\xE2\x80\x90\xE2\x81\xA5",
       "\xE2\x80\x8A\xE2\x80\x90\xE2\x81\xA5"},  // neighbours
  };
  for (const auto& [text, shown] : cases)
    EXPECT_EQ(Shown(text), shown) << ::testing::PrintToString(text);
  EXPECT_EQ(Quoted("a\tb"), "'a\\tb'");
  // A whole message keeps its own lines.
  EXPECT_EQ(Shown("a\xE2\x80\xAE\r\nb\t", true), "a\\u202E\r\nb\\t");
}

}  // namespace
}  // namespace delvora
