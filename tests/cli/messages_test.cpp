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
  };
  for (const auto& [text, shown] : cases)
    EXPECT_EQ(Shown(text), shown) << ::testing::PrintToString(text);
  EXPECT_EQ(Quoted("a\tb"), "'a\\tb'");
}

}  // namespace
}  // namespace delvora
