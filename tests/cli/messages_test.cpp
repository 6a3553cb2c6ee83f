#include "cli/messages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

namespace delvora {
namespace {

#ifdef _WIN32
constexpr bool kBackslashStays = true;  // the path separator; no name holds one
#else
constexpr bool kBackslashStays = false;
#endif

TEST(Shown, EscapesWhatATerminalWouldActOnAndKeepsTheRest) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"/in/a b.csv", "/in/a b.csv"},
      // A backslash is escaped where names may hold one: "\xFF" typed into
      // a name never reads like the byte FF.
      {"C:\\in\\x.csv", kBackslashStays ? "C:\\in\\x.csv" : "C:\\\\in\\\\x.csv"},
      {"\\xFF", kBackslashStays ? "\\xFF" : "\\\\xFF"},
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
      {"\xE2\x80\x8A\xE2\x80\x90\xE2\x81\xB0",
       "\xE2\x80\x8A\xE2\x80\x90\xE2\x81\xB0"},  // neighbours
      // Default-ignorable: word joiner, soft hyphen, Hangul filler,
      // variation selector, a tag character; the separators U+2028/9.
      {"\xE2\x81\xA0\xC2\xAD\xE3\x85\xA4\xEF\xB8\x8F\xF3\xA0\x81\x81\xE2\x80\xA8\xE2\x80\xA9",
       "\\u2060\\u00AD\\u3164\\uFE0F\\U000E0041\\u2028\\u2029"},
  };
  for (const auto& [text, shown] : cases)
    EXPECT_EQ(Shown(text), shown) << ::testing::PrintToString(text);
  EXPECT_EQ(Quoted("a\tb"), "'a\\tb'");
  // A whole message keeps its own lines.
  EXPECT_EQ(Shown("a\xE2\x80\xAE\r\nb\t", true), "a\\u202E\r\nb\\t");
}

TEST(Shown, JsonUsesTheSameRuleInItsOwnForm) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\x01\x7F\xC2\x85", "\"\\n\\u0001\\u007f\\u0085\""},
      {"\xFF\xC3\xA9", "\"\\udcff\xC3\xA9\""},
      {"x\xE2\x80\xAE\xE2\x80\xA8\xD8\x9C\xEF\xBB\xBF", "\"x\\u202e\\u2028\\u061c\\ufeff\""},
      {"\xF3\xA0\x81\x81", "\"\\udb40\\udc41\""},
  };
  for (const auto& [text, json] : cases)
    EXPECT_EQ(JsonString(text), json) << ::testing::PrintToString(text);
}

// The hidden set against Unicode's own tables, where the system has them.
TEST(Shown, EscapesEveryDefaultIgnorableAndBidiControlCharacter) {
  std::ifstream derived("/usr/share/unicode/DerivedCoreProperties.txt");
  std::ifstream props("/usr/share/unicode/PropList.txt");
  if (!derived || !props) GTEST_SKIP() << "no Unicode data files (Debian's unicode-data)";
  std::set<char32_t> hidden = {0x2028, 0x2029};
  const auto take = [&](std::ifstream& file, const std::string& property) {
    for (std::string line; std::getline(file, line);) {
      if (line.empty() || line[0] == '#' || line.find("; " + property + " ") == std::string::npos)
        continue;
      const std::size_t dots = line.find("..");
      const auto first =
          static_cast<char32_t>(std::stoul(line.substr(0, line.find_first_of(". ;")), nullptr, 16));
      const auto last = dots < line.find(';')
                            ? static_cast<char32_t>(std::stoul(line.substr(dots + 2), nullptr, 16))
                            : first;
      for (char32_t c = first; c <= last; ++c) hidden.insert(c);
    }
  };
  take(derived, "Default_Ignorable_Code_Point");
  take(props, "Bidi_Control");
  ASSERT_GT(hidden.size(), 4000u);
  for (char32_t c = 0xA0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    EXPECT_EQ(IsHiddenCharacter(c), hidden.count(c) == 1) << std::hex << static_cast<unsigned>(c);
  }
}

}  // namespace
}  // namespace delvora
