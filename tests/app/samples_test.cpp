#include "app/samples.h"

#include <gtest/gtest.h>

#include <QString>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/app_error.h"
#include "support/test_support.h"

namespace delvora {
namespace {

const QString kKey = QString::fromLatin1(kSampleListKey);

TEST(SampleListCodingTest, SumsWrapAt255AndDifferencesBelowOne) {
  // 'a' is 97: 158 + 97 = 255 stays 255, 159 + 97 = 256 wraps to 1.
  EXPECT_EQ(EncodeSampleBytes("\x9E", "a"), "\xFF");
  EXPECT_EQ(EncodeSampleBytes("\x9F", "a"), "\x01");
  EXPECT_EQ(DecodeSampleBytes("\xFF", "a"), "\x9E");
  EXPECT_EQ(DecodeSampleBytes("\x01", "a"), "\x9F");
  // The key letters are used in turn and start again after the last.
  EXPECT_EQ(EncodeSampleBytes("\x01\x01\x01", "ab"), "bcb");
  EXPECT_EQ(DecodeSampleBytes("bcb", "ab"), "\x01\x01\x01");
  // Every byte value from 1 to 255 comes back, at every key position.
  std::string all;
  for (int c = 1; c <= 255; ++c) all.push_back(static_cast<char>(c));
  const std::string encoded = EncodeSampleBytes(all, kSampleListKey);
  EXPECT_NE(encoded, all);
  EXPECT_EQ(encoded.find('\0'), std::string::npos);
  EXPECT_EQ(DecodeSampleBytes(encoded, kSampleListKey), all);
}

TEST(SampleListCodingTest, EveryPathRoundTripsWhateverItsCharacters) {
  const QString list = QStringLiteral(
      "C:\\Program Files\\Delvora\\Samples\\a.csv|/opt/delvora/Samples/Отчёт ¥ 東京 😀.csv|"
      "/Samples/«quoted».csv");
  testing::CountingPump pump;
  const QString encoded = EncodeSampleList(list, kKey, &pump);
  EXPECT_EQ(pump.calls, list.toUtf8().size());  // the window is served every byte
  for (const QChar ch : encoded) {
    EXPECT_GE(ch.unicode(), 1);
    EXPECT_LE(ch.unicode(), 255);
  }
  EXPECT_FALSE(encoded.contains(QStringLiteral("Samples")));
  EXPECT_EQ(DecodeSampleList(encoded, kKey), list);
  EXPECT_EQ(EncodeSampleList(QString(), kKey), QString());
  EXPECT_EQ(DecodeSampleList(QString(), kKey), QString());
}

TEST(SampleListCodingTest, ListsPast32767CharactersOverflow) {
  const QString longest(kMaxSampleListLength, u'x');
  EXPECT_EQ(EncodeSampleList(longest, kKey).size(), kMaxSampleListLength);
  try {
    EncodeSampleList(longest + u'x', kKey);
    FAIL() << "no overflow";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number(), kErrOverflow);
  }
  // Multi-byte characters count by their bytes, as they are stored.
  EXPECT_THROW(EncodeSampleList(QString(kMaxSampleListLength / 2 + 1, QChar(0x0416)), kKey),
               AppError);
  EXPECT_THROW(DecodeSampleList(longest + u'x', kKey), AppError);
}

TEST(SampleListCodingTest, ValuesNoEncodingMadeDecodeWithoutHarm) {
  // The default read for an absent value, and hand edits beyond one byte.
  EXPECT_NE(DecodeSampleList(QStringLiteral("False"), kKey), QStringLiteral("False"));
  const QString odd = DecodeSampleList(QStringLiteral("Ω東\x01"), kKey);
  EXPECT_EQ(odd.contains(u'|'), false);
}

#ifndef _WIN32
// A user who may not write beside the installed samples (here: nobody, the
// program's folder being root's) converts a copy in their documents, which
// keeps what they changed; root, who may write there, keeps the samples
// where they are.
TEST(SamplesFolderTest, AUserWhoCannotWriteBesideTheSamplesGetsTheirOwnCopy) {
  testing::TempDir program;
  testing::TempDir documents;
  std::filesystem::create_directory(program / "Samples");
  testing::WriteFile(program / "Samples/a.csv", "a,b\n");
  testing::WriteFile(program / "Samples/b.txt", "c;d\n");
  std::filesystem::permissions(program.path(), std::filesystem::perms(0755));
  std::filesystem::permissions(program / "Samples", std::filesystem::perms(0755));
  ASSERT_EQ(chown(documents.path().c_str(), 65534, 65534), 0);
  const QString samples = QString::fromStdString(program.Utf8("Samples"));
  const QString home = QString::fromStdString(documents.Utf8());
  const QString copy = QString::fromStdString(documents.Utf8("Delvora Samples"));
  EXPECT_EQ(UsableSamplesFolder(samples, home), samples);

  const auto as_nobody = [&] {
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      const QString folder = UsableSamplesFolder(samples, home);
      if (folder != copy) _exit(1);
      CopySamples(samples, folder);
      _exit(0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return status;
  };
  ASSERT_EQ(as_nobody(), 0);
  EXPECT_EQ(testing::ReadFile(documents / "Delvora Samples/a.csv"), "a,b\n");
  EXPECT_EQ(testing::ReadFile(documents / "Delvora Samples/b.txt"), "c;d\n");
  testing::WriteFile(documents / "Delvora Samples/a.csv", "mine\n");
  ASSERT_EQ(as_nobody(), 0);
  EXPECT_EQ(testing::ReadFile(documents / "Delvora Samples/a.csv"), "mine\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program / "Samples"),
                          std::filesystem::directory_iterator()),
            2);
}
#endif

}  // namespace
}  // namespace delvora
