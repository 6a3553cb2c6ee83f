#include "conversion/converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "conversion/reference_converter.h"
#include "conversion/text_writer.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace delvora {
namespace {

using namespace std::literals;
using testing::EngineConvert;
using testing::kUtf8Page;
using testing::ReferenceConvert;

std::string Utf8(std::string_view input, std::string_view delimiter = ",") {
  return EngineConvert(input, delimiter, kUtf8Page);
}

// The record of one line, as the output holds it (without its CR LF).
std::string RecordOf(std::string_view line, std::string_view delimiter) {
  std::string out = Utf8(line, delimiter);
  EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
  return out.substr(0, out.size() - 2);
}

TEST(RecordRule, ReplacesEveryDelimiterLeftToRightWithoutOverlap) {
  EXPECT_EQ(RecordOf("a,b,c", ","), "a\tb\tc");
  EXPECT_EQ(RecordOf("a, b, c", ","), "a\t b\t c");
  EXPECT_EQ(RecordOf("a, b, c", ", "), "a\tb\tc");
  EXPECT_EQ(RecordOf("a,b, c", ", "), "a,b\tc");
  EXPECT_EQ(RecordOf("\"x,y\",z", ","), "\"x\ty\"\tz");
  EXPECT_EQ(RecordOf("a;b,c", ";"), "a\tb,c");
  EXPECT_EQ(RecordOf("a,,b", ","), "a\t\tb");
  EXPECT_EQ(RecordOf(",a,", ","), "\ta\t");
  EXPECT_EQ(RecordOf("a|b", "|"), "a\tb");
  EXPECT_EQ(RecordOf("a::b", "::"), "a\tb");
  EXPECT_EQ(RecordOf("aXbxc", "x"), "aXb\tc");
  EXPECT_EQ(RecordOf("a\tb,c", ","), "a\tb\tc");
  EXPECT_EQ(RecordOf("a,b", ""), "a,b");
  EXPECT_EQ(RecordOf(";;;", ";;"), "\t;");
  EXPECT_EQ(RecordOf("a ; b;c", " ; "), "a\tb;c");
  EXPECT_EQ(RecordOf("a:b::c:::d", "::"), "a:b\tc\t:d");
  EXPECT_EQ(Utf8("\n", ","), "\r\n");
}

TEST(LineRule, OneRuleForEveryReader) {
  // Bare LF, CR LF and a lone CR each end a line (CR CR LF is a line and
  // an empty one), and no extra line after the last terminator.
  EXPECT_EQ(Utf8("a,b\r\nc,d\r\n"), "a\tb\r\nc\td\r\n");
  EXPECT_EQ(Utf8("a,b\nc,d\n"), "a\tb\r\nc\td\r\n");
  EXPECT_EQ(Utf8("a,b\nc,d"), "a\tb\r\nc\td\r\n");
  EXPECT_EQ(Utf8("a\rb,c\r"), "a\r\nb\tc\r\n");
  EXPECT_EQ(Utf8("\r\n\r\n"), "\r\n\r\n");
  EXPECT_EQ(Utf8("a\r\r\n"), "a\r\n\r\n");
  EXPECT_EQ(Utf8("a,b\rc,d\r\re"), "a\tb\r\nc\td\r\n\r\ne\r\n");
  EXPECT_EQ(Utf8("\xFF\xFE"
                 "a\x00\r\x00"
                 "b\x00"sv),
            "\xFF\xFE"
            "a\x00\r\x00\n\x00"
            "b\x00\r\x00\n\x00"sv);
  // The UTF-8 reader follows the same rule: no empty record after a final
  // CR LF, and LF endings split lines.
  EXPECT_EQ(Utf8("\xEF\xBB\xBF"
                 "a,b\r\nc,d\r\n"),
            "\xEF\xBB\xBF"
            "a\tb\r\nc\td\r\n");
  EXPECT_EQ(Utf8("\xEF\xBB\xBF"
                 "a\nb\n"),
            "\xEF\xBB\xBF"
            "a\r\nb\r\n");
  // A delimiter never reaches across a line end, so one holding CR or LF
  // matches nothing.
  EXPECT_EQ(Utf8("a\r\nb", "\r"), "a\r\nb\r\n");
  EXPECT_EQ(Utf8("a\rb\r\n", "\r"), "a\r\nb\r\n");
  EXPECT_EQ(Utf8("a\nb", "a\nb"), "a\r\nb\r\n");
  EXPECT_EQ(Utf8("x\r\r\n", "\r"), "x\r\n\r\n");
}

TEST(Marks, EachMarkPicksItsReaderAndOutput) {
  // No mark: the same bytes, delimiters replaced, no mark.
  EXPECT_EQ(Utf8("a,b\r\n"), "a\tb\r\n");
  // UTF-32LE and UTF-32BE become UTF-16LE with FF FE.
  EXPECT_EQ(Utf8("\xFF\xFE\x00\x00"
                 "a\x00\x00\x00,\x00\x00\x00"
                 "b\x00\x00\x00"sv),
            "\xFF\xFE"
            "a\x00\t\x00"
            "b\x00\r\x00\n\x00"sv);
  EXPECT_EQ(Utf8("\x00\x00\xFE\xFF"
                 "\x00\x00\x00"
                 "a\x00\x00\x00,\x00\x01\xF6\x00"sv),
            "\xFF\xFE"
            "a\x00\t\x00\x3D\xD8\x00\xDE\r\x00\n\x00"sv);
  // UTF-8 stays UTF-8 with its mark.
  EXPECT_EQ(Utf8("\xEF\xBB\xBF"
                 "\xC3\xA9,\xE2\x82\xAC"),
            "\xEF\xBB\xBF"
            "\xC3\xA9\t\xE2\x82\xAC\r\n");
  // UTF-16LE and UTF-16BE become UTF-16LE with FF FE.
  EXPECT_EQ(Utf8("\xFF\xFE"
                 "a\x00,\x00"
                 "b\x00\n\x00"sv),
            "\xFF\xFE"
            "a\x00\t\x00"
            "b\x00\r\x00\n\x00"sv);
  EXPECT_EQ(Utf8("\xFE\xFF"
                 "\x00"
                 "a\x00,\x20\xAC"sv),
            "\xFF\xFE"
            "a\x00\t\x00\xAC\x20\r\x00\n\x00"sv);
}

TEST(Marks, TestedInOrderOnAZeroFilledBufferWithMinimumLengths) {
  const auto detect = [](std::string_view bytes) {
    unsigned char head[4] = {};
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
      head[i] = static_cast<unsigned char>(bytes[i]);
    return DetectUnicode(head, bytes.size());
  };
  EXPECT_EQ(detect("\xFF\xFE\x00\x00"sv).encoding, TextEncoding::kUtf32Le);
  EXPECT_EQ(detect("\xFF\xFE\x00"sv).encoding, TextEncoding::kUtf16Le);  // too short for UTF-32
  EXPECT_EQ(detect("\xFF\xFE"sv).encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(detect("\x00\x00\xFE\xFF"sv).encoding, TextEncoding::kUtf32Be);
  EXPECT_EQ(detect("\xEF\xBB\xBF"sv).encoding, TextEncoding::kUtf8);
  EXPECT_EQ(detect("\xEF\xBB\x00"sv).encoding, TextEncoding::kNarrow);
  EXPECT_EQ(detect("\xEF\xBB"sv).encoding, TextEncoding::kNarrow);
  EXPECT_EQ(detect("\xFE\xFF"sv).encoding, TextEncoding::kUtf16Be);
  EXPECT_EQ(detect("\xFE"sv).encoding, TextEncoding::kNarrow);
  EXPECT_EQ(detect(""sv).encoding, TextEncoding::kNarrow);

  const UnicodeMark utf8 = detect(
      "\xEF\xBB\xBF"
      "abc"sv);
  EXPECT_TRUE(utf8.file_is_utf8);
  EXPECT_FALSE(utf8.file_is_unicode);
  EXPECT_EQ(utf8.mark_length, 3u);
  for (auto marked : {"\xFF\xFE"sv, "\xFE\xFF"sv, "\xFF\xFE\x00\x00"sv, "\x00\x00\xFE\xFF"sv}) {
    EXPECT_TRUE(detect(marked).file_is_unicode);
    EXPECT_FALSE(detect(marked).file_is_utf8);
  }
  EXPECT_FALSE(detect("a,b"sv).file_is_unicode);
  EXPECT_FALSE(detect("a,b"sv).file_is_utf8);
}

TEST(Marks, EmptyInputOrBareMarkGivesOneEmptyLine) {
  EXPECT_EQ(Utf8(""), "\r\n");
  EXPECT_EQ(Utf8("\xEF\xBB\xBF"), "\xEF\xBB\xBF\r\n");
  EXPECT_EQ(Utf8("\xFF\xFE"), "\xFF\xFE\r\x00\n\x00"sv);
  EXPECT_EQ(Utf8("\xFE\xFF"), "\xFF\xFE\r\x00\n\x00"sv);
  EXPECT_EQ(Utf8("\xFF\xFE\x00\x00"sv), "\xFF\xFE\r\x00\n\x00"sv);
  EXPECT_EQ(Utf8("\x00\x00\xFE\xFF"sv), "\xFF\xFE\r\x00\n\x00"sv);
}

TEST(Marks, NothingIsDroppedSilently) {
  // Invalid UTF-8 passes through unchanged, marked or not.
  EXPECT_EQ(Utf8("\xEF\xBB\xBF"
                 "\xC3,\xFF\xA9"),
            "\xEF\xBB\xBF"
            "\xC3\t\xFF\xA9\r\n");
  EXPECT_EQ(Utf8("\xC3,\xFF"), "\xC3\t\xFF\r\n");
  // Marked text that cannot be decoded fails, naming the first place.
  const struct {
    std::string_view input;
    std::string_view message;
  } malformed[] = {
      {"\xFF\xFE"
       "a\x00"
       "b"sv,
       "malformed UTF-16LE text at byte 4: an odd last byte"},
      {"\xFF\xFE\x00"sv, "malformed UTF-16LE text at byte 2: an odd last byte"},
      {"\xFE\xFF\x00"sv, "malformed UTF-16BE text at byte 2: an odd last byte"},
      {"\xFF\xFE\x00\x00"
       "a\x00\x00\x00\x62\x00"sv,
       "malformed UTF-32LE text at byte 8: a cut last unit"},
      {"\xFF\xFE\x00\x00"
       "\x00\x00\x11\x00"sv,
       "malformed UTF-32LE text at byte 4: a value above U+10FFFF"},
      {"\x00\x00\xFE\xFF\x00\x00\x00"
       "a\x00\x00\xD8\x00"sv,
       "malformed UTF-32BE text at byte 8: a surrogate code point"},
      {"\xFF\xFE"
       "a\x00\x00\xDC,\x00"sv,
       "malformed UTF-16LE text at byte 4: an unpaired surrogate"},
      {"\xFE\xFF\x00"
       "a\xD8\x00\x00,"sv,
       "malformed UTF-16BE text at byte 4: an unpaired surrogate"},
      {"\xFF\xFE,\x00\x00\xD8"sv, "malformed UTF-16LE text at byte 4: an unpaired surrogate"},
  };
  for (const auto& c : malformed) {
    for (std::size_t block : {16u, 1u << 20}) {
      try {
        EngineConvert(c.input, ",", kUtf8Page, block, 1);
        ADD_FAILURE() << "converted: " << ::testing::PrintToString(c.input);
      } catch (const ConversionFailure& failure) {
        EXPECT_EQ(failure.number(), kErrInvalidFormat);
        EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
        EXPECT_EQ(failure.description(), "Invalid file format (" + std::string(c.message) + ")");
      }
    }
  }
  // Paired surrogates are text.
  EXPECT_EQ(Utf8("\xFF\xFE\x3D\xD8\x00\xDE"sv), "\xFF\xFE\x3D\xD8\x00\xDE\r\x00\n\x00"sv);
}

TEST(NarrowCodePage, DelimiterIsMatchedInTheCodePage) {
  // Windows-1252: the euro sign is byte 0x80; a character the code page
  // lacks matches nothing, even where its UTF-8 bytes stand in the file.
  EXPECT_EQ(EngineConvert("a\x80"
                          "b",
                          "\xE2\x82\xAC", 1252),
            "a\tb\r\n");
  EXPECT_EQ(EngineConvert("a\xE6\x97\xA5"
                          "b",
                          "\xE6\x97\xA5", 1252),
            "a\xE6\x97\xA5"
            "b\r\n");
  EXPECT_EQ(EngineConvert("a\xE9"
                          "b",
                          "\xC3\xA9", 1252),
            "a\tb\r\n");
  EXPECT_EQ(EngineConvert("a\xE9"
                          "b",
                          "\xC3\xA9", kUtf8Page),
            "a\xE9"
            "b\r\n");
  // Shift-JIS: "|" (0x7C) can be the second byte of a character; a match
  // never starts there.
  EXPECT_EQ(EngineConvert("a|b\x81|c|", "|", 932), "a\tb\x81|c\t\r\n");
  EXPECT_EQ(EngineConvert("\x81\x81|", "|", 932), "\x81\x81\t\r\n");
  EXPECT_EQ(EngineConvert("\x81\n|", "|", 932), "\x81\r\n\t\r\n");
  EXPECT_EQ(EngineConvert("a\xE6\x97\xA5", "\xE6\x97\xA5", 932), "a\xE6\x97\xA5\r\n");
  // The tests choose the code page; an unknown one is refused.
  EXPECT_THROW(EngineConvert("a", ",", 12345), ConversionFailure);
}

TEST(Engine, RejectsADelimiterThatIsNotUtf8) {
  try {
    EngineConvert("a,b", "\xFF", kUtf8Page);
    FAIL() << "no failure";
  } catch (const ConversionFailure& failure) {
    EXPECT_EQ(failure.number(), kErrInvalidArgument);
  }
  EXPECT_THROW(EngineConvert("\xFF\xFE", "\xED\xA0\x80", kUtf8Page), ConversionFailure);
}

// The streaming engine and the plain reference agree on random inputs,
// delimiters, block sizes and read sizes.
TEST(Engine, AgreesWithTheReferenceOnRandomInput) {
  std::mt19937 random(20261207);
  const unsigned pages[] = {kUtf8Page, 1252, 932};
  std::uniform_int_distribution<std::size_t> block(16, 80);
  std::uniform_int_distribution<std::size_t> piece(1, 40);
  for (int round = 0; round < 3000; ++round) {
    const std::string input = testing::RandomInput(random, round % 10 == 0 ? 400 : 40);
    const std::string delimiter = testing::RandomDelimiter(random);
    const unsigned page = pages[round % 3];
    // Half the rounds write on a second thread, as files are written.
    const auto engine = [&] {
      return EngineConvert(input, delimiter, page, block(random), piece(random),
                           static_cast<unsigned>(random()), round % 2 == 0);
    };
    std::string expected;
    try {
      expected = ReferenceConvert(input, delimiter, page);
    } catch (const testing::ReferenceMalformed& malformed) {
      try {
        engine();
        ADD_FAILURE() << "malformed text converted, round " << round;
      } catch (const ConversionFailure& failure) {
        EXPECT_NE(failure.description().find(" at byte " + std::to_string(malformed.offset)),
                  std::string::npos)
            << failure.description() << ", round " << round;
      }
      continue;
    }
    const std::string actual = engine();
    ASSERT_EQ(actual, expected) << "round " << round << ", delimiter \"" << delimiter
                                << "\", code page " << page << ", input \"" << input << "\"";
  }
}

// Files whose lines all end alike take whole-block paths (converted where
// they were read, or LF spread to CR LF sixteen units at a time): every
// block size, read size and mark against the reference, a stray CR or
// two-unit delimiter included, so that a path that loses its place in a
// block or across one shows.
TEST(Engine, LinesEndingAlikeAgreeWithTheReference) {
  std::mt19937 random(8122026);
  const std::string_view alphabet[] = {"a", "b", ",", ",", " ", ";", "\xC3\xA9", "x"};
  const auto text = [&](std::string_view end, bool stray_cr) {
    std::string out;
    for (int line = 0; line < 120; ++line) {
      for (auto n = random() % 90; n-- > 0;) out += alphabet[random() % std::size(alphabet)];
      if (stray_cr && line == 77) out += '\r';
      if (line < 119 || random() % 2 == 0) out += end;
    }
    return out;
  };
  const auto utf16 = [](std::string_view ascii) {  // the mark, then each unit little-endian
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += {c, '\0'};
    return out;
  };
  for (std::string_view end : {"\n", "\r\n"}) {
    for (bool stray_cr : {false, true}) {
      const std::string plain = text(end, stray_cr);
      // Cut to whole vectors too: the last block then ends where a vector
      // does, with nothing left for the line-by-line path.
      const std::string cut = plain.substr(0, plain.size() / 64 * 64);
      for (const std::string& input : {plain, cut, cut.substr(0, cut.size() - 1),
                                       "\xEF\xBB\xBF" + plain, utf16(text(end, stray_cr))}) {
        for (std::string_view delimiter : {",", ", ", ""}) {
          const std::string expected = ReferenceConvert(input, delimiter, kUtf8Page);
          for (std::size_t block : {16u, 17u, 100u, 4096u, 1u << 20}) {
            for (std::size_t piece : {std::size_t{7}, std::size_t{1} << 20}) {
              ASSERT_EQ(EngineConvert(input, delimiter, kUtf8Page, block, piece,
                                      static_cast<unsigned>(random()), piece > 7 && block >= 4096),
                        expected)
                  << "line end " << (end.size() == 1 ? "LF" : "CR LF") << ", delimiter \""
                  << delimiter << "\", block " << block << ", read " << piece;
            }
          }
        }
      }
    }
  }
}

TEST(Engine, LongLinesAcrossManyBlocks) {
  // One line far longer than a block, delimiters straddling every boundary.
  std::string line;
  for (int i = 0; i < 5000; ++i) line += "field" + std::to_string(i) + "::";
  const std::string input = line + "\r\n" + line;
  for (std::size_t block : {16u, 17u, 63u, 4096u}) {
    EXPECT_EQ(EngineConvert(input, "::", kUtf8Page, block, 1 << 20),
              ReferenceConvert(input, "::", kUtf8Page));
  }
}

// ---- Files ----

class ConvertFileTest : public ::testing::Test {
 protected:
  std::string Path(std::string_view name) const { return (dir_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static ConversionOptions Comma() {
    ConversionOptions options;
    options.delimiter.push_back(',');
    options.code_page = NarrowCodePage{kUtf8Page};
    return options;
  }
  // Runs the conversion and returns the failure it raised.
  static ConversionFailure FailureOf(const std::string& in, const std::string& out) {
    try {
      ConvertFile(in, out, Comma());
    } catch (const ConversionFailure& failure) {
      return failure;
    }
    ADD_FAILURE() << "no failure for " << in << " -> " << out;
    return ConversionFailure(ConversionFailure::Stage::kRead, StandardError(kErrInvalidArgument));
  }
  testing::TempDir dir_;
};

TEST_F(ConvertFileTest, WritesAndReplacesWithoutLeavingTemporaryFiles) {
  testing::WriteFile(dir_ / "in.csv", "a,b\r\nc,d\r\n");
  testing::WriteFile(dir_ / "in.tsv", "older and longer output that must go away entirely");
  ConvertFile(Path("in.csv"), Path("in.tsv"), Comma());
  EXPECT_EQ(testing::ReadFile(dir_ / "in.tsv"), "a\tb\r\nc\td\r\n");
  ConvertFile(Path("in.csv"), Path("in.tsv"), Comma());
  EXPECT_EQ(testing::ReadFile(dir_ / "in.tsv"), "a\tb\r\nc\td\r\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"in.csv", "in.tsv"}));
}

TEST_F(ConvertFileTest, ConvertsAFileOntoItsOwnPath) {
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "x,y,z\n";
  testing::WriteFile(dir_ / "self.tsv", big);
  ConversionOptions options = Comma();
  options.block_size = 4096;  // many blocks: the input must not be cut short
  ConvertFile(Path("self.tsv"), Path("self.tsv"), options);
  EXPECT_EQ(testing::ReadFile(dir_ / "self.tsv"), ReferenceConvert(big, ",", kUtf8Page));
  EXPECT_EQ(Names(), (std::vector<std::string>{"self.tsv"}));
}

TEST_F(ConvertFileTest, UnicodeNamesAndMarkedContent) {
  const std::string name = "d\xC3\xA9j\xC3\xA0 \xE6\x97\xA5\xE6\x9C\xAC.csv";
  testing::WriteFile(dir_.path() / std::u8string(name.begin(), name.end()),
                     "\xFF\xFE"
                     "a\x00,\x00"sv);
  const std::string in = dir_.Utf8() + "/" + name;
  ConvertFile(in, dir_.Utf8() + "/out.tsv", Comma());
  EXPECT_EQ(testing::ReadFile(dir_ / "out.tsv"),
            "\xFF\xFE"
            "a\x00\t\x00\r\x00\n\x00"sv);
  EXPECT_TRUE(DetectUnicode(in).file_is_unicode);
}

TEST_F(ConvertFileTest, ReadFailuresLeaveTheOlderOutputAlone) {
  testing::WriteFile(dir_ / "out.tsv", "old");
  testing::WriteFile(dir_ / "plain", "not a folder");
  std::filesystem::create_directory(dir_ / "folder.csv");

  ConversionFailure missing = FailureOf(Path("missing.csv"), Path("out.tsv"));
  EXPECT_EQ(missing.stage(), ConversionFailure::Stage::kRead);
  EXPECT_EQ(missing.number(), kErrFileNotFound);
  EXPECT_EQ(missing.description(), "File not found");

  ConversionFailure folder = FailureOf(Path("folder.csv"), Path("out.tsv"));
  EXPECT_EQ(folder.stage(), ConversionFailure::Stage::kRead);

  ConversionFailure under_file = FailureOf(Path("plain") + "/x.csv", Path("out.tsv"));
  EXPECT_EQ(under_file.stage(), ConversionFailure::Stage::kRead);
  EXPECT_EQ(under_file.number(), kErrPathNotFound);

  EXPECT_EQ(FailureOf("", Path("out.tsv")).stage(), ConversionFailure::Stage::kRead);
  EXPECT_THROW(DetectUnicode(Path("missing.csv")), AppError);

  EXPECT_EQ(testing::ReadFile(dir_ / "out.tsv"), "old");
  EXPECT_EQ(Names(), (std::vector<std::string>{"folder.csv", "out.tsv", "plain"}));
}

TEST_F(ConvertFileTest, WriteFailuresLeaveNothingBehind) {
  testing::WriteFile(dir_ / "in.csv", "a,b\n");
  testing::WriteFile(dir_ / "plain", "a file, not a folder");
  std::filesystem::create_directory(dir_ / "taken.tsv");

  ConversionFailure missing_folder = FailureOf(Path("in.csv"), Path("nowhere") + "/in.tsv");
  EXPECT_EQ(missing_folder.stage(), ConversionFailure::Stage::kWrite);
  EXPECT_EQ(missing_folder.number(), kErrPathNotFound);

  // A folder that cannot take new files (as root, permission bits stop
  // nothing; a regular file in the folder's place refuses for real).
  ConversionFailure not_a_folder = FailureOf(Path("in.csv"), Path("plain") + "/in.tsv");
  EXPECT_EQ(not_a_folder.stage(), ConversionFailure::Stage::kWrite);
  EXPECT_EQ(not_a_folder.number(), kErrPathNotFound);

  ConversionFailure is_folder = FailureOf(Path("in.csv"), Path("taken.tsv"));
  EXPECT_EQ(is_folder.stage(), ConversionFailure::Stage::kWrite);
  EXPECT_EQ(is_folder.description(), ReasonDescription(ErrorReason::kResultIsFolder));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "taken.tsv"));

  EXPECT_EQ(FailureOf(Path("in.csv"), "").stage(), ConversionFailure::Stage::kWrite);
  EXPECT_EQ(Names(), (std::vector<std::string>{"in.csv", "plain", "taken.tsv"}));
}

// A source that fails after some good blocks, as a disk read error would.
class FailingSource : public ByteSource {
 public:
  explicit FailingSource(int good_reads) : good_reads_(good_reads) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    if (good_reads_-- <= 0) throw StandardError(kErrPathFileAccess, "Device I/O error");
    std::memset(buffer, ',', size);
    return size;
  }

 private:
  int good_reads_;
};

TEST_F(ConvertFileTest, AReadFailureHalfwayKeepsTheOlderOutput) {
  testing::WriteFile(dir_ / "out.tsv", "old");
  {
    AtomicFileWriter writer(Path("out.tsv"));
    FailingSource source(3);
    ConversionOptions options = Comma();
    options.block_size = 1000;
    try {
      ConvertStream(source, writer, options);
      FAIL() << "no failure";
    } catch (const ConversionFailure& failure) {
      EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
      EXPECT_EQ(failure.description(), "Path/File access error (Device I/O error)");
    }
  }
  EXPECT_EQ(testing::ReadFile(dir_ / "out.tsv"), "old");
  EXPECT_EQ(Names(), (std::vector<std::string>{"out.tsv"}));
}

TEST_F(ConvertFileTest, ASinkFailureIsAWriteFailure) {
  class FullSink : public ByteSink {
   public:
    void Write(const void*, std::size_t) override { throw StandardError(kErrDiskFull); }
  } sink;
  testing::ChoppySource source("a,b\n", 4, 1);
  try {
    ConvertStream(source, sink, Comma());
    FAIL() << "no failure";
  } catch (const ConversionFailure& failure) {
    EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kWrite);
    EXPECT_EQ(failure.number(), kErrDiskFull);
  }
}

#ifndef _WIN32
TEST_F(ConvertFileTest, AFullDiskKeepsTheOlderOutputAndRemovesTheTemporaryFile) {
  std::string big(3 << 20, ',');
  testing::WriteFile(dir_ / "big.csv", big);
  testing::WriteFile(dir_ / "big.tsv", "old");
  // The file-size limit stands in for a full disk; it is set in a child so
  // that the rest of the tests run without it.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    int code = 3;
    try {
      ConvertFile(Path("big.csv"), Path("big.tsv"), Comma());
    } catch (const ConversionFailure& failure) {
      code = failure.stage() == ConversionFailure::Stage::kWrite && failure.number() == kErrDiskFull
                 ? 0
                 : 4;
    } catch (...) {
      code = 5;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(testing::ReadFile(dir_ / "big.tsv"), "old");
  EXPECT_EQ(Names(), (std::vector<std::string>{"big.csv", "big.tsv"}));
}

// A folder whose absolute path passes the system's 4,096 bytes still holds
// files: they convert, beside their input and into another such folder. The
// tree is made and read relative to open folders, as the writer does.
TEST_F(ConvertFileTest, FoldersPastTheSystemsPathLengthConvert) {
  const testing::DeepFolder deep(dir_);
  deep.MakeFolder("out");
  deep.Write("x.csv", "a,b\n");
  ConvertFile(deep.path() + "/x.csv", deep.path() + "/x.tsv", Comma());
  ConvertFile(deep.path() + "/x.csv", deep.path() + "/out/x.tsv", Comma());
  EXPECT_EQ(deep.Read("x.tsv"), "a\tb\r\n");
  EXPECT_EQ(deep.Read("out/x.tsv"), "a\tb\r\n");
}
#else
TEST_F(ConvertFileTest, AFullDiskKeepsTheOlderOutputAndRemovesTheTemporaryFile) {
  GTEST_SKIP() << "a full disk is a file-size limit in a forked child here (setrlimit, fork), "
                  "which Windows does not have";
}
#endif

}  // namespace
}  // namespace delvora
