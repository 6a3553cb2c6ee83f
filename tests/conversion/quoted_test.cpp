// The quote-aware modes, the check, and the engine's per-thread buffers.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>

#include "conversion/check.h"
#include "conversion/converter.h"
#include "conversion/quoted_rule.h"
#include "conversion/reference_converter.h"
#include "platform/utf8.h"
#include "support/test_support.h"

namespace delvora {
namespace {

using namespace std::literals;
using testing::EngineConvert;
using testing::kUtf8Page;
using testing::ReferenceConvert;

std::string Quoted(std::string_view input, std::string_view delimiter = ",",
                   std::size_t block = 1 << 20, Quoting quoting = Quoting::kQuoted) {
  return EngineConvert(input, delimiter, kUtf8Page, block, 1 << 20, 1, true, quoting);
}

std::string Escaped(std::string_view input, std::string_view delimiter = ",") {
  return Quoted(input, delimiter, 1 << 20, Quoting::kEscaped);
}

ConversionFailure FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ConversionFailure& failure) {
    return failure;
  }
  ADD_FAILURE() << "no failure";
  return ConversionFailure(ConversionFailure::Stage::kWrite, StandardError(kErrInvalidArgument));
}

TEST(QuotedRule, ReadsRfc4180AndWritesQuotesOnlyWhereNeeded) {
  struct Case {
    std::string_view input, quoted, escaped;
  };
  const Case cases[] = {
      {"aaa,bbb,ccc\r\nzzz,yyy,xxx\r\n", "aaa\tbbb\tccc\r\nzzz\tyyy\txxx\r\n",
       "aaa\tbbb\tccc\r\nzzz\tyyy\txxx\r\n"},
      {"aaa,bbb,ccc", "aaa\tbbb\tccc\r\n", "aaa\tbbb\tccc\r\n"},
      {"\"aaa\",\"bbb\",\"ccc\"\r\n", "aaa\tbbb\tccc\r\n", "aaa\tbbb\tccc\r\n"},
      {"\"aaa\",\"b\r\nbb\",\"ccc\"\r\nzzz,yyy,xxx\r\n",
       "aaa\t\"b\r\nbb\"\tccc\r\nzzz\tyyy\txxx\r\n", "aaa\tb\\r\\nbb\tccc\r\nzzz\tyyy\txxx\r\n"},
      {"\"aaa\",\"b\"\"bb\",\"ccc\"", "aaa\t\"b\"\"bb\"\tccc\r\n", "aaa\tb\"bb\tccc\r\n"},
      {"\"Smith, John\",1\n", "Smith, John\t1\r\n", "Smith, John\t1\r\n"},
      // Text after a closing quote stays in the field; a quote inside a
      // plain field is ordinary.
      {"\"ab\"cd,e\n", "abcd\te\r\n", "abcd\te\r\n"},
      {"\"a,b\"c\"d,e\n", "\"a,bc\"\"d\"\te\r\n", "a,bc\"d\te\r\n"},
      {"a\"b,c\n", "\"a\"\"b\"\tc\r\n", "a\"b\tc\r\n"},
      {" \"a,b\"\n", "\" \"\"a\"\t\"b\"\"\"\r\n", " \"a\tb\"\r\n"},
      // Tabs and backslashes.
      {"a\tb,c\\d\n", "\"a\tb\"\tc\\d\r\n", "a\\tb\tc\\\\d\r\n"},
      // An empty line has no fields, a lone "" one empty field; an empty
      // input no record at all.
      {"\n\"\"\n,\n\"\",\n", "\r\n\"\"\r\n\t\r\n\t\r\n", "\r\n\r\n\t\r\n\t\r\n"},
      {"", "", ""},
      // Lone CR and CR CR LF end lines; line breaks inside quotes stay.
      {"a\rb\r\r\nc", "a\r\nb\r\n\r\nc\r\n", "a\r\nb\r\n\r\nc\r\n"},
      {"\"a\rb\"\r\"c\nd\"", "\"a\rb\"\r\n\"c\nd\"\r\n", "a\\rb\r\nc\\nd\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Quoted(c.input), c.quoted) << c.input;
    EXPECT_EQ(Escaped(c.input), c.escaped) << c.input;
    // Every block boundary, and every mark.
    EXPECT_EQ(Quoted(c.input, ",", 16), c.quoted) << c.input;
    EXPECT_EQ(Quoted("\xEF\xBB\xBF"s + std::string(c.input)),
              "\xEF\xBB\xBF"s + std::string(c.quoted));
  }
  // Any delimiter text; one holding a line end never matches.
  EXPECT_EQ(Quoted("a::\"b::c\"::d\n", "::"), "a\tb::c\td\r\n");
  EXPECT_EQ(Quoted("a:::b\n", "::"), "a\t:b\r\n");
  EXPECT_EQ(Quoted("a\t\"b\tc\"\n", "\t"), "a\t\"b\tc\"\r\n");
  EXPECT_EQ(Quoted("a\r\nb\n", "\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(Quoted("\xFF\xFE\"\0a\0,\0\"\0,\0b\0"sv),
            "\xFF\xFE"
            "a\0,\0\t\0b\0\r\0\n\0"sv);
  // A delimiter holding a quote cannot be read around quotes.
  EXPECT_EQ(FailureOf([] { Quoted("a", "\""); }).number(), kErrInvalidArgument);
  EXPECT_EQ(FailureOf([] { Quoted("a", "x\"", 1 << 20, Quoting::kEscaped); }).number(),
            kErrInvalidArgument);
}

TEST(QuotedRule, AgreesWithTheReferenceOnRandomInput) {
  std::mt19937 random(4180);
  std::uniform_int_distribution<std::size_t> block(16, 80);
  std::uniform_int_distribution<std::size_t> piece(1, 40);
  const std::string_view quotes[] = {"\"", "\"\"", "\",\"", ",\"", "\"\r\n"};
  for (int round = 0; round < 3000; ++round) {
    std::string input = testing::RandomInput(random, 40);
    for (int i = 0; i < 3; ++i) {
      const std::size_t at = std::uniform_int_distribution<std::size_t>(0, input.size())(random);
      input.insert(at, quotes[random() % std::size(quotes)]);
    }
    std::string delimiter = testing::RandomDelimiter(random);
    if (delimiter.find('"') != std::string::npos) delimiter = ",";
    const unsigned page = round % 2 == 0 ? kUtf8Page : 1252;
    const Quoting quoting = round % 3 == 0 ? Quoting::kEscaped : Quoting::kQuoted;
    const bool small = round % 4 != 0;
    const auto engine = [&] {
      return EngineConvert(input, delimiter, page, small ? block(random) : 1 << 20, piece(random),
                           static_cast<unsigned>(random()), round % 2 == 0, quoting);
    };
    const auto context = [&] {
      return "round " + std::to_string(round) + ", delimiter \"" + delimiter + "\", input \"" +
             input + "\"";
    };
    std::string expected;
    try {
      expected = ReferenceConvert(input, delimiter, page, quoting);
    } catch (const testing::ReferenceMalformed& malformed) {
      const ConversionFailure failure = FailureOf(engine);
      EXPECT_NE(failure.description().find(" at byte " + std::to_string(malformed.offset) + ":"),
                std::string::npos)
          << failure.description() << "; " << context();
      continue;
    } catch (const testing::ReferenceUnclosedQuote& unclosed) {
      const ConversionFailure failure = FailureOf(engine);
      EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
      EXPECT_NE(failure.description().find("line " + std::to_string(unclosed.line) + " "),
                std::string::npos)
          << failure.description() << "; " << context();
      continue;
    }
    const std::string actual = engine();
    // With small blocks a field longer than a block may be quoted without
    // needing it: the records must be the same.
    if (small && quoting == Quoting::kQuoted) {
      ASSERT_EQ(testing::TsvRows(actual, input), testing::TsvRows(expected, input)) << context();
    } else {
      ASSERT_EQ(actual, expected) << context();
    }
  }
}

TEST(QuotedRule, LongPlainStretchesAgreeWithTheReference) {
  // Rows in CR LF without quotes or tabs are converted where they were
  // read; what the quote-aware reading needs (a quote, a tab, a lone LF or
  // CR, a backslash for --escape) comes now and then, anywhere in a block,
  // and an unclosed quote still names its line.
  std::mt19937 random(1180);
  const std::string_view rare[] = {"\"\"", "\"a,b\"", "\"x\"\"y\"", "\t",
                                   "\n",   "\r",      "\\",         "\"\r\n\""};
  for (int round = 0; round < 300; ++round) {
    std::string input;
    for (std::size_t rows = 20 + random() % 200; rows > 0; --rows) {
      input += std::string(random() % 9, 'a' + static_cast<char>(random() % 26)) + ",b,";
      if (random() % 25 == 0) input += rare[random() % std::size(rare)];
      input += "\r\n";
    }
    if (round % 5 == 0) input += "tail,\"open\r\n";
    const Quoting quoting = round % 2 == 0 ? Quoting::kQuoted : Quoting::kEscaped;
    const std::size_t block = 64 + random() % 400;
    const auto engine = [&] {
      return EngineConvert(input, ",", kUtf8Page, block, 1 << 20, 1, round % 3 != 0, quoting);
    };
    try {
      const std::string expected = ReferenceConvert(input, ",", kUtf8Page, quoting);
      ASSERT_EQ(engine(), expected) << round;
    } catch (const testing::ReferenceUnclosedQuote& unclosed) {
      EXPECT_NE(FailureOf(engine).description().find("line " + std::to_string(unclosed.line) + " "),
                std::string::npos)
          << round;
    }
  }
}

// Remembers the largest single write: the engine must not gather a long
// field before writing it.
class LargestWriteSink : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
    largest = std::max(largest, size);
  }
  std::string text;
  std::size_t largest = 0;
};

// Inputs the fuzzer once stopped on: unmarked text whose quoted first field
// begins with bytes that look like a mark (the harness took the output for
// UTF-8 or UTF-16), kept as they were found.
TEST(QuotedRule, AgreesWithTheReferenceWhereTheFuzzerOnceStopped) {
  const std::string_view cases[] = {
      "@\x00P\x22\xEF\xBB\xBFP\x22\xF6\x05N\x05\xC2\xCA;\x00\x00\x00\x00\x00\x00\x00`\xB0\x00\x00~\x10@"sv,
      "J\x0A\xD3\x22\x22\xFF\xFE\x0D\x0A\x22\x22\x00\x00\x00\xB7\xB7\xB7\x00\x00\x7F\xFD\xFFu\xF1\xF1\xF1\xF1\xF1\xF1\xF1\xF1\xF1\xD2\xB1\xB7\xB7\xB7\x00"sv,
      "[\xA0\xCB\x22\xFF\xFE"
      "a\xFF\xFE\x00=\x00"
      "6\x00\x00\x97\xFB\xFB\xFB\xFB\xF6\xFA\xDC\x22\x00\x00\x00\x00\x00\x00"
      "6\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x0A_"sv,
      "\x00\x00"
      "C\x22\xFF\xFE\x9F\xF2\xF5\x01, \x00\x01\x00~]W\x22\x0D\x07\x00\x19\x19\x19\x19\x19\x19\x19\x19\x19\x00\xFF\xFF\xFF\xFF\xFF\x1B\xFF"sv,
      "%\x03@\x22\xFF\xFE-Z\x3F{R[\x00\xD7@\xFF\x02\xFF\xFF\xFF\xEF\x1F\x00\xEA\x07\x00\x00\x00\x00!-\x8D\xB6i\x22"sv,
  };
  for (const std::string_view data : cases)
    EXPECT_EQ(testing::DifferentialCase(data), "") << ::testing::PrintToString(std::string(data));
}

TEST(QuotedRule, FieldsAcrossBlocksAndFarLongerThanABlock) {
  // Fields straddling block boundaries are held whole until their end.
  EXPECT_EQ(Quoted("abcdefghij,\"kl,mn\",o\n", ",", 16), "abcdefghij\tkl,mn\to\r\n");
  EXPECT_EQ(Quoted("abcdefghijklm,\"\",o\n", ",", 16), "abcdefghijklm\t\to\r\n");
  // A field of 256 KB goes through 64-byte blocks in pieces; it comes
  // out quoted, which it may be.
  std::string content;
  for (int i = 0; content.size() < (1u << 18); ++i) content += "x,\"\"\r\n" + std::to_string(i);
  std::string unquoted(1 << 18, 'y');
  const std::string input = "a,\"" + content + "\"," + unquoted + "\nb";
  for (const Quoting quoting : {Quoting::kQuoted, Quoting::kEscaped}) {
    testing::ChoppySource source(input, 1000, 7);
    LargestWriteSink sink;
    ConversionOptions options;
    options.delimiter = ",";
    options.block_size = 64;
    options.quoting = quoting;
    ConvertStream(source, sink, options);
    EXPECT_LT(sink.largest, 1024u);
    const std::string expected = ReferenceConvert(input, ",", kUtf8Page, quoting);
    if (quoting == Quoting::kQuoted) {
      EXPECT_TRUE(testing::TsvRows(sink.text, input) == testing::TsvRows(expected, input));
      EXPECT_EQ(sink.text.substr(sink.text.size() - 10), "yyyy\"\r\nb\r\n");
    } else {
      EXPECT_TRUE(sink.text == expected);
    }
  }
}

// Quote-heavy text long enough to be read in many 64-unit chunks: quoted
// fields holding doubled quotes, delimiters, tabs and line breaks, empty
// ones, fields longer than a chunk, and now and then what the chunks leave
// to the field-by-field reading (a quote inside a plain field, text after a
// closing quote, a tab outside quotes, a lone CR or LF).
std::string QuoteHeavyText(std::mt19937& random, const std::string& delimiter) {
  const std::string inside[] = {"a",
                                "Smith",
                                "\xC3\xA9t\xC3\xA9",
                                "\xE6\x9D\xB1",
                                "\xF0\x9F\x98\x80",
                                "\"\"",
                                "\r\n",
                                "\n",
                                "\r",
                                "\t",
                                " x y ",
                                delimiter};
  const std::string rare[] = {"a\"b", "\"q\"tail", "\t", "\"" + std::string(70, 'q') + "\"\"q\"",
                              std::string(90, 'y')};
  const std::string ends[] = {"\r\n", "\n", "\r"};
  const auto pick = [&random](const auto& from) { return from[random() % std::size(from)]; };
  const std::size_t styles = random() % 4;  // CR LF only, or now and then another line end
  std::string text;
  for (std::size_t records = 5 + random() % 60; records > 0; --records) {
    const auto roll = random() % 100;
    if (roll < 3) {
      text += "\"\"";
    } else if (roll >= 6) {
      for (std::size_t fields = 1 + random() % 6; fields > 0; --fields) {
        const auto kind = random() % 100;
        if (kind < 60) {
          text += '"';
          for (std::size_t n = random() % 6; n > 0; --n) text += pick(inside);
          text += '"';
        } else if (kind < 96) {
          text += std::to_string(random() % 100000);
        } else {
          text += pick(rare);
        }
        if (fields > 1) text += delimiter;
      }
    }
    text += styles == 0 && random() % 8 == 0 ? pick(ends) : "\r\n";
  }
  return text;
}

// Every width of vector the chunks are read with, every form of text, large
// blocks and small: the reference's bytes (its records where a small block
// may quote a long field that needs no quotes), or its unclosed quote.
TEST(QuotedRule, QuoteHeavyTextReadInChunksAgreesWithTheReference) {
  std::mt19937 random(6401);
  const std::string delimiters[] = {",", ";", "\t", "|"};
  for (const unsigned width : {16u, 32u, 64u}) {
    LimitQuotedVectors(width);
    for (int round = 0; round < 120; ++round) {
      const std::string delimiter = delimiters[round % std::size(delimiters)];
      std::string text = QuoteHeavyText(random, delimiter);
      if (round % 7 == 0) text.resize(random() % text.size());  // perhaps inside quotes
      const std::u16string wide = *Utf8ToUtf16(text);
      std::string le, be;
      for (const char16_t unit : wide) {
        le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
      }
      const struct {
        std::string input;
        unsigned page;
      } forms[] = {{text, kUtf8Page},
                   {"\xEF\xBB\xBF" + text, kUtf8Page},
                   {"\xFF\xFE" + le, kUtf8Page},
                   {"\xFE\xFF" + be, kUtf8Page},
                   {text, 1252},
                   {le, kUtf8Page}};  // UTF-16 without a mark
      for (const auto& form : forms) {
        const bool small = round % 2 == 0;
        const std::size_t block = small ? 64 + random() % 300 : 1 << 20;
        const auto engine = [&] {
          return EngineConvert(form.input, delimiter, form.page, block, 1 + random() % 3000,
                               static_cast<unsigned>(random()), round % 3 != 0, Quoting::kQuoted);
        };
        const std::string context = "width " + std::to_string(width) + ", round " +
                                    std::to_string(round) + ", page " + std::to_string(form.page) +
                                    ", block " + std::to_string(block);
        try {
          const std::string expected =
              ReferenceConvert(form.input, delimiter, form.page, Quoting::kQuoted);
          const std::string actual = engine();
          if (small) {
            ASSERT_EQ(testing::TsvRows(actual, form.input), testing::TsvRows(expected, form.input))
                << context;
          } else {
            ASSERT_EQ(actual, expected) << context;
          }
        } catch (const testing::ReferenceUnclosedQuote& unclosed) {
          EXPECT_NE(
              FailureOf(engine).description().find("line " + std::to_string(unclosed.line) + " "),
              std::string::npos)
              << context;
        }
      }
    }
  }
  LimitQuotedVectors(64);
}

// Short quoted fields against every block end: each quote, doubled quote,
// delimiter and CR LF of the text falls on a block boundary in turn.
TEST(QuotedRule, QuotedFieldsAcrossEveryBlockEndAreWrittenAlike) {
  std::string input;
  for (int i = 0; i < 24; ++i)
    input += std::to_string(i) + ",\"Smith, J\",\"say \"\"hi\"\" now\",\"\",\"two\r\nlines\"\r\n";
  const std::string expected = ReferenceConvert(input, ",", kUtf8Page, Quoting::kQuoted);
  for (const unsigned width : {16u, 32u, 64u}) {
    LimitQuotedVectors(width);
    for (std::size_t block = 64; block < 64 + 80; ++block)
      ASSERT_EQ(Quoted(input, ",", block), expected) << width << " " << block;
  }
  LimitQuotedVectors(64);
}

TEST(QuotedRule, AnUnclosedQuoteFailsTheFileNamingItsLine) {
  const ConversionFailure failure = FailureOf([] { Quoted("a,b\r\nc,\"d\r\ne\r\n"); });
  EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
  EXPECT_EQ(failure.description(),
            "Unclosed quote: the quoted field that starts on line 2 has no closing quote");
  // The same when the field is streamed, and after lone CRs.
  EXPECT_NE(FailureOf([] { Quoted("x\ry\r\"" + std::string(500, 'z'), ",", 16); })
                .description()
                .find("line 3 "),
            std::string::npos);

  // Nothing is written for the file; an older output stays.
  testing::TempDir dir;
  testing::WriteFile(dir / "in.csv", "a,\"b\n");
  testing::WriteFile(dir / "in.tsv", "old");
  ConversionOptions options;
  options.delimiter = ",";
  options.quoting = Quoting::kQuoted;
  EXPECT_THROW(ConvertFile((dir / "in.csv").string(), (dir / "in.tsv").string(), options),
               ConversionFailure);
  EXPECT_EQ(testing::ReadFile(dir / "in.tsv"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// ---- The check ----

CheckReport Check(std::string_view input, std::string_view delimiter = ",",
                  std::size_t block = 1 << 20, std::size_t piece = 7, unsigned page = kUtf8Page) {
  testing::ChoppySource source{std::string(input), piece, 3};
  ConversionOptions options;
  options.delimiter = std::string(delimiter);
  options.code_page = NarrowCodePage{page};
  options.block_size = block;
  return CheckStream(source, options);
}

TEST(Check, ReportsWhatEachFileNeeds) {
  struct Case {
    std::string_view input;
    Quoting mode;
    std::string_view line;  // after "mark=", up to the verdict's text
    bool safe;
  };
  const Case cases[] = {
      {"a,b\r\nc,d\r\n", Quoting::kTextual,
       "none line-ends=CRLF records=2 fields=2-2 textual-records=2 textual-fields=2-2 "
       "quoted-delimiters=0 quoted-line-breaks=0 unclosed-quote=none textual-differs-at=none "
       "verdict: safe for the plain conversion",
       true},
      // Ragged by design, quotes around plain text: still safe.
      {"a,b\n\"c\"\nd,e,f\n", Quoting::kTextual,
       "none line-ends=LF records=3 fields=1-3 textual-records=3 textual-fields=1-3 "
       "quoted-delimiters=0 quoted-line-breaks=0 unclosed-quote=none textual-differs-at=2,3 "
       "verdict: safe for the plain conversion",
       true},
      {"id,name\r\n1,\"Smith, John\"\r\n2,\"a\r\nb\"\r\n", Quoting::kTextual,
       "none line-ends=CRLF records=3 fields=2-2 textual-records=4 textual-fields=1-3 "
       "quoted-delimiters=1 quoted-line-breaks=1 unclosed-quote=none textual-differs-at=2,4 "
       "verdict: needs --escape (1 quoted field holds the delimiter, 1 line break lies inside "
       "quotes)",
       false},
      // --quotes would write the line break in quotes again; --escape reads it.
      {"id,name\r\n1,\"Smith, John\"\r\n2,\"a\r\nb\"\r\n", Quoting::kQuoted,
       "none line-ends=CRLF records=3 fields=2-2 textual-records=4 textual-fields=1-3 "
       "quoted-delimiters=1 quoted-line-breaks=1 unclosed-quote=none textual-differs-at=2,4 "
       "verdict: needs --escape (1 line break lies inside quotes)",
       false},
      {"id,name\r\n1,\"Smith, John\"\r\n2,\"a\r\nb\"\r\n", Quoting::kEscaped,
       "none line-ends=CRLF records=3 fields=2-2 textual-records=4 textual-fields=1-3 "
       "quoted-delimiters=1 quoted-line-breaks=1 unclosed-quote=none textual-differs-at=2,4 "
       "verdict: safe, every quote closes",
       true},
      {"a\rb,\"c\r", Quoting::kQuoted,
       "none line-ends=CR records=2 fields=1-2 textual-records=2 textual-fields=1-2 "
       "quoted-delimiters=0 quoted-line-breaks=0 unclosed-quote=2 textual-differs-at=2 "
       "verdict: unclosed quote (the quote opened on line 2 never closes)",
       false},
      {"\xEF\xBB\xBF"
       "a;b\n1;2\r\n3;4",
       Quoting::kTextual,
       "UTF-8 line-ends=mixed records=3 fields=1-1 textual-records=3 textual-fields=1-1 "
       "quoted-delimiters=0 quoted-line-breaks=0 unclosed-quote=none textual-differs-at=none "
       "verdict: safe for the plain conversion",
       true},
      {"", Quoting::kTextual,
       "none line-ends=none records=0 fields=0-0 textual-records=1 textual-fields=1-1 "
       "quoted-delimiters=0 quoted-line-breaks=0 unclosed-quote=none textual-differs-at=none "
       "verdict: safe for the plain conversion",
       true},
  };
  for (const Case& c : cases) {
    for (std::size_t block : {16u, 1u << 20}) {
      const CheckReport report = Check(c.input, ",", block);
      // The later pairs (from text= on) are checked through the program.
      std::string line = FormatCheckReport(report, c.mode);
      line.erase(line.find(" text="), line.find(" verdict: ") - line.find(" text="));
      EXPECT_EQ(line, "mark=" + std::string(c.line)) << c.input;
      EXPECT_EQ(CheckIsSafe(report, c.mode), c.safe) << c.input;
    }
  }
  // Marked wide text, a longer delimiter, and the first five differing lines.
  const CheckReport wide = Check("\xFF\xFE\"\0:\0:\0\"\0:\0:\0x\0\n\0"sv, "::");
  EXPECT_EQ(wide.encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(wide.quoted_delimiters, 1u);
  EXPECT_EQ(wide.max_line_fields, 3u);
  const CheckReport ragged = Check("a,b\na\na\na\na\na\na\na\n");
  EXPECT_EQ(ragged.differing_lines, 7u);
  EXPECT_EQ(ragged.first_differing, (std::vector<std::uint64_t>{2, 3, 4, 5, 6}));
  // Read failures and a quote in the delimiter.
  EXPECT_THROW(CheckFile("/nonexistent/in.csv", ConversionOptions{}), ConversionFailure);
  EXPECT_EQ(FailureOf([] { Check("a", "\""); }).number(), kErrInvalidArgument);
}

TEST(Check, CountsWhatTheQuoteAwareReadingReadsWhateverTheBlocks) {
  std::mt19937 random(11);
  const std::string_view pieces[] = {"\"", "\"\"", "\",\"",
                                     "abcdefghijklmnopqrstuvwxyz,0123456789,", "\r\n"};
  const std::string_view delimiters[] = {",", ";", "::", "\t"};
  int compared = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string input = testing::RandomInput(random, 30);
    for (int i = 0; i < 6; ++i) {
      const std::size_t at = std::uniform_int_distribution<std::size_t>(0, input.size())(random);
      input.insert(at, pieces[random() % std::size(pieces)]);
    }
    const std::string delimiter(delimiters[round % std::size(delimiters)]);
    std::string output;
    try {
      output = ReferenceConvert(input, delimiter, kUtf8Page, Quoting::kQuoted);
    } catch (const testing::ReferenceUnclosedQuote&) {
      EXPECT_NE(Check(input, delimiter).unclosed_quote_line, 0u);
      continue;
    } catch (const testing::ReferenceMalformed& malformed) {
      const CheckReport report = Check(input, delimiter);
      EXPECT_NE(report.malformed, 0u);
      EXPECT_EQ(report.first_malformed, malformed.offset);
      continue;
    }
    const auto rows = testing::TsvRows(output, input);
    ++compared;
    const CheckReport whole = Check(input, delimiter);
    const CheckReport blocks = Check(input, delimiter, 16 + round % 50);
    ASSERT_EQ(whole.records, rows.size()) << ::testing::PrintToString(input) << " " << delimiter;
    std::size_t low = rows.empty() ? 0 : SIZE_MAX, high = 0;
    for (const auto& row : rows) low = std::min(low, row.size()), high = std::max(high, row.size());
    EXPECT_EQ(whole.min_fields, low) << input;
    EXPECT_EQ(whole.max_fields, high) << input;
    EXPECT_EQ(FormatCheckReport(blocks, Quoting::kTextual),
              FormatCheckReport(whole, Quoting::kTextual))
        << input;
  }
  // Large blocks are counted by both rules side by side: the same counts,
  // whatever the blocks, on text long enough for several.
  for (const std::string_view delimiter : delimiters) {
    std::string input = "x,";  // no mark: the units are the bytes
    while (input.size() < (1u << 18)) {
      input += testing::RandomInput(random, 30);
      input += pieces[random() % std::size(pieces)];
      input += "\"\"\r\n";  // an even number of quotes: most of it is read
      // A field the quote-aware rule holds back across blocks.
      if (random() % 50 == 0) {
        input += '"';
        for (int i = 0; i < 6000; ++i) input += "a,b\r\n";
        input += "\"\r\n";
      }
    }
    for (const Quoting mode : {Quoting::kTextual, Quoting::kEscaped}) {
      EXPECT_EQ(FormatCheckReport(Check(input, delimiter, 200000, 200000), mode),
                FormatCheckReport(Check(input, delimiter, 1000), mode))
          << delimiter;
    }
  }
  EXPECT_GT(compared, 500);
}

// Quoted text is read a vector at a time where its quotes allow, else by
// the quote-aware rule, which a two-byte code page always takes: ASCII
// reads alike in both, so the two readings must agree, in small blocks and
// in large ones, where fields and records cross them.
TEST(Check, QuotedTextReadsAlikeByVectorsAndByTheRule) {
  std::mt19937 random(31);
  // A quoted field longer than the units read at once, holding the
  // delimiter early: whether its field holds one is carried to where it ends.
  const std::string long_field = "\"s,t" + std::string(70, 'u') + "\"";
  const std::string_view pieces[] = {"\"a,b\"",     "\"x\"\"y\"", "\"\"",   "\"l\r\nm\"",
                                     "\"p\nq\rr\"", "plain",      "1.5",    "",
                                     long_field,    "a\"b",       "\"c\"d", "\"open"};
  const std::string_view ends[] = {",", ",", ",", "\r\n", "\n", "\r", ";"};
  for (int round = 0; round < 340; ++round) {
    std::string input;
    if (round >= 300) {
      // A quote inside an unquoted field that a later one would seem to
      // close, at each offset from a vector's edge.
      input = std::string(round - 300, 'x') + "\"b,c,d\"\r\ne,f\r\n\"g,\"\"h\"\r\n";
    }
    // Mostly quotes that toggle alike; now and then one that does not.
    const std::size_t kinds = round % 3 == 0 ? std::size(pieces) : 9;
    const std::size_t size = round % 30 == 0 ? 200000 : 50 + random() % 2000;
    while (round < 300 && input.size() < size) {
      input += pieces[random() % kinds];
      input += ends[random() % std::size(ends)];
    }
    if (round % 7 == 0) input += "\"tail";
    for (const std::string_view delimiter : {",", ";"}) {
      for (const std::size_t block :
           {std::size_t{16} + round % 50, std::size_t{1000}, std::size_t{70000}}) {
        const std::size_t piece = block == 70000 ? 1 << 20 : 1 + round % 40;
        const CheckReport vectors = Check(input, delimiter, block, piece);
        const CheckReport rule = Check(input, delimiter, block, piece, 932);
        for (const Quoting mode : {Quoting::kTextual, Quoting::kQuoted}) {
          ASSERT_EQ(FormatCheckJson(vectors, mode, true), FormatCheckJson(rule, mode, true))
              << round << " " << delimiter << " " << block;
        }
      }
    }
  }
}

// The fuzzer's check case on random inputs (marks, malformed text, every
// delimiter, small blocks): the check reads what the reference reads. First
// the inputs the fuzzer once stopped on, kept as they were found.
TEST(Check, ReadsWhatTheReferenceReadsWhateverTheBlocks) {
  const std::string found[] = {
      // A tab delimiter, a quote that never closes with tabs on its line:
      // counted as a tab line when the field was held, not when streamed.
      "s\x9FP\x22`,a" + std::string(83, '\0') + "\x01" + std::string(6, '\0') +
          "+\t\t\n\t\tc\xBF\xF6\x05||,|\n",
  };
  for (const std::string& data : found)
    EXPECT_EQ(testing::CheckDifferentialCase(data), "") << ::testing::PrintToString(data);
  std::mt19937 random(24);
  for (int round = 0; round < 4000; ++round) {
    std::string data(3, '\0');
    for (char& c : data) c = static_cast<char>(random());
    data += testing::RandomInput(random, round % 10 == 0 ? 300 : 30);
    ASSERT_EQ(testing::CheckDifferentialCase(data), "") << ::testing::PrintToString(data);
  }
}

// The textual reading, a unit at a time: the reference for the vector loops.
template <typename Unit>
std::string TextualCounts(std::basic_string_view<Unit> text, std::basic_string_view<Unit> d) {
  std::uint64_t lines = 0, delimiters = 0, ends[3] = {}, tab_lines = 0, first_tab = 0;
  std::uint64_t low = 0, high = 0, in_line = 0;
  bool open = false, tab = false;
  const auto end_line = [&](int kind) {
    if (kind >= 0) ++ends[kind];
    ++lines;
    low = lines == 1 ? in_line + 1 : std::min(low, in_line + 1);
    high = std::max(high, in_line + 1);
    if (tab && tab_lines++ == 0) first_tab = lines;
    delimiters += in_line;
    in_line = 0, open = false, tab = false;
  };
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == Unit('\r') || text[i] == Unit('\n')) {
      const bool pair = text[i] == Unit('\r') && i + 1 < text.size() && text[i + 1] == Unit('\n');
      end_line(pair ? 0 : text[i] == Unit('\n') ? 1 : 2);
      i += pair ? 2 : 1;
      continue;
    }
    open = true;
    if (text.substr(i, d.size()) == d) {
      ++in_line, i += d.size();
      continue;
    }
    tab = tab || text[i] == Unit('\t');
    ++i;
  }
  if (open || lines == 0) end_line(-1);
  return std::to_string(lines) + " " + std::to_string(low) + "-" + std::to_string(high) + " " +
         std::to_string(delimiters) + " " + std::to_string(ends[0]) + " " +
         std::to_string(ends[1]) + " " + std::to_string(ends[2]) + " " + std::to_string(tab_lines) +
         " " + std::to_string(first_tab);
}

std::string TextualCounts(const CheckReport& r) {
  return std::to_string(r.lines) + " " + std::to_string(r.min_line_fields) + "-" +
         std::to_string(r.max_line_fields) + " " + std::to_string(r.delimiters) + " " +
         std::to_string(r.crlf_ends) + " " + std::to_string(r.lf_ends) + " " +
         std::to_string(r.cr_ends) + " " + std::to_string(r.tab_lines) + " " +
         std::to_string(r.first_tab_line);
}

TEST(Check, TextIsUtf8ExactlyWhenTheStrictDecoderReadsItWhateverTheBlocks) {
  // Sequences valid and not, at every offset from a vector's edge, some cut
  // short at the end of the file.
  const std::string_view pieces[] = {"a",
                                     ",",
                                     "\r\n",
                                     "abcdefghijklmno",
                                     "\xC3\xA9",
                                     "\xE6\x9D\xB1",
                                     "\xF0\x9F\x98\x80",
                                     "\xE0\xA0\x80",
                                     "\xED\x9F\xBF",
                                     "\xF4\x8F\xBF\xBF",
                                     "\xEF\xBF\xBF",
                                     "\xE0\x9F\xBF",
                                     "\xED\xA0\x80",
                                     "\xF0\x8F\xBF\xBF",
                                     "\xF4\x90\x80\x80",
                                     "\xC0\x80",
                                     "\xC1\xBF",
                                     "\xF5\x80\x80\x80",
                                     "\xFF",
                                     "\x80",
                                     "\xC3",
                                     "\xE6\x9D",
                                     "\xF0\x9F\x98"};
  std::mt19937 random(11);
  for (int round = 0; round < 400; ++round) {
    std::string input(random() % 40, 'x');
    const bool mostly_valid = round % 2 == 0;
    for (std::size_t n = random() % 60; n > 0; --n)
      input += pieces[random() % (mostly_valid ? 12 : std::size(pieces))];
    const bool utf8 = Utf8ToCodePoints(input).has_value();
    const bool high = std::any_of(input.begin(), input.end(), [](char c) { return c & 0x80; });
    const NarrowText expected = !high  ? NarrowText::kAscii
                                : utf8 ? NarrowText::kUtf8
                                       : NarrowText::kEightBit;
    for (const std::size_t block : {16, 17, 64, 1 << 20}) {
      EXPECT_EQ(Check(input, ",", block, 1 + round % 7).text, expected) << round << " " << block;
    }
  }
  // Long text without quotes, read in large blocks (classified while the
  // count runs beside) and in small ones: lines of ragged length, a CR LF on
  // any block edge, and one sequence more, valid or not, amid ASCII at each
  // of 64 offsets far into the text (one of them at the edge of a vector).
  std::string base;
  while (base.size() < 300000) {
    base += std::string(random() % 200, 'x');
    base += pieces[random() % 11];
    base += random() % 4 == 0 ? "\r\n" : random() % 9 == 0 ? "\t" : ",";
  }
  for (std::size_t round = 0; round < 128; ++round) {
    std::string input = base;
    const std::string_view piece = pieces[round % 2 == 0 ? 4 + round % 7 : 11 + round % 12];
    // ASCII around it: a sequence cut short at a vector's end meets one.
    input.insert(200000 + round / 2,
                 std::string(40, 'x') + std::string(piece) + std::string(40, 'x'));
    const NarrowText expected =
        Utf8ToCodePoints(input).has_value() ? NarrowText::kUtf8 : NarrowText::kEightBit;
    const CheckReport large = Check(input, ",", 70000, 1 << 20);
    EXPECT_EQ(large.text, expected) << round;
    if (round % 16 != 0) continue;
    EXPECT_EQ(TextualCounts(large), TextualCounts<char>(input, ",")) << round;
    EXPECT_EQ(FormatCheckJson(large, Quoting::kTextual, true),
              FormatCheckJson(Check(input, ",", 1000, 1000), Quoting::kTextual, true))
        << round;
  }
}

TEST(Check, CountsLinesAsTheTextualReadingDoesInBytesAndTwoByteUnits) {
  std::mt19937 random(5);
  // U+2C2C holds two commas in its bytes: the wide count must see one unit.
  const char16_t alphabet[] = {u'a', u'b', u',', u';', u'\t', u'\r', u'\n', u'"', u'\u2C2C'};
  const std::u16string_view delimiters[] = {u",", u"\t", u";;"};
  for (int round = 0; round < 3000; ++round) {
    std::u16string text(std::uniform_int_distribution<std::size_t>(0, 300)(random), u'a');
    // Runs of one unit as well as mixtures: long plain stretches fill vectors.
    const std::size_t kinds = 1 + random() % std::size(alphabet);
    for (char16_t& c : text) c = random() % 3 == 0 ? alphabet[random() % kinds] : u'x';
    const std::u16string_view delimiter = delimiters[round % std::size(delimiters)];
    const std::string narrow_delimiter(delimiter.begin(), delimiter.end());
    const std::size_t block = 16 + round % 200;
    std::string wide = "\xFF\xFE";
    for (const char16_t c : text) wide += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    EXPECT_EQ(TextualCounts(Check(wide, narrow_delimiter, block)),
              TextualCounts<char16_t>(text, delimiter))
        << round;
    if (text.find(u'\u2C2C') != std::u16string::npos) continue;
    const std::string bytes(text.begin(), text.end());
    EXPECT_EQ(TextualCounts(Check(bytes, narrow_delimiter, block)),
              TextualCounts<char>(bytes, narrow_delimiter))
        << ::testing::PrintToString(bytes) << " " << narrow_delimiter;
  }
  // Runs of like lines, then a last line without an end that stops at, or
  // short of, a vector's edge.
  for (const std::string_view line : {"ab,cd\r\n"sv, "a,b\n"sv, "\r\n"sv, "x,\t\r\n"sv}) {
    for (std::size_t tail = 0; tail < 40; ++tail) {
      std::string text;
      for (int i = 0; i < 9; ++i) text += line;
      text += std::string(tail, tail % 3 == 0 ? ',' : 'y');
      EXPECT_EQ(TextualCounts(Check(text, ",", 1 << 20, 1 << 20)), TextualCounts<char>(text, ","))
          << ::testing::PrintToString(text);
    }
  }
}

// ---- Buffers ----

TEST(Buffers, ThreadsConvertingSideBySideShareNothing) {
  std::vector<std::string> inputs;
  std::mt19937 random(7);
  std::vector<std::string> expected;
  while (inputs.size() < 8) {
    std::string input = testing::RandomInput(random, 2000);
    try {
      expected.push_back(ReferenceConvert(input, ",", kUtf8Page));
    } catch (const testing::ReferenceMalformed&) {
      continue;  // long random marked text is rarely well formed
    }
    inputs.push_back(std::move(input));
  }
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        const std::size_t i = static_cast<std::size_t>(t + round) % inputs.size();
        const std::size_t block = round % 2 == 0 ? 64 : 1 << 20;
        if (EngineConvert(inputs[i], ",", kUtf8Page, block) != expected[i]) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace delvora
