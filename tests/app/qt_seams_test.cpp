// The parts of the desktop seams that can run without a desktop.

#include "platform/qt_seams.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "platform/qt_path_text.h"
#include "support/test_support.h"

namespace delvora::testing {
namespace {

TEST(PickedFolderPath, NoTrailingSeparatorExceptOnARoot) {
  EXPECT_EQ(PickedFolderPath(""), "");
  EXPECT_EQ(PickedFolderPath(QDir::rootPath()), QDir::toNativeSeparators(QDir::rootPath()));
  const QString sep = QDir::separator();
  EXPECT_EQ(PickedFolderPath("/data/in"), sep + "data" + sep + "in");
  EXPECT_EQ(PickedFolderPath("/data/in/"), sep + "data" + sep + "in");
  // A long path comes back whole.
  const QString long_path = "/" + QString(258, 'a');
  EXPECT_EQ(PickedFolderPath(long_path).size(), 259);
}

// Every byte string survives the trip through the window's text; what is
// UTF-8 reads as itself there, the rest is shown escaped.
TEST(PathText, BytesComeBackExactlyAndStrayOnesAreShownEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain.csv", "plain.csv"},
      {"Z\xC3\xBCrich.csv", "Z\xC3\xBCrich.csv"},
      {"bad\xFF.csv", "bad\\xFF.csv"},
      {"\xC3", "\\xC3"},                    // cut short
      {"\xC0\xAF", "\\xC0\\xAF"},           // overlong
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},  // a surrogate's form
      {"\xF0\x9F\x98\x80\x80", "\xF0\x9F\x98\x80\\x80"},
  };
  for (const auto& [bytes, shown] : cases) {
    const QString text = PathText(bytes);
    EXPECT_EQ(PathBytes(text), bytes);
    EXPECT_EQ(ShownPathText(text).toStdString(), shown);
  }
  EXPECT_EQ(PathText("Z\xC3\xBCrich"), QString::fromUtf8("Z\xC3\xBCrich"));
}

#ifndef _WIN32
// A dialog shows a name that is not UTF-8 with a replacement character;
// the name on disk is found again unless two names look alike.
TEST(PathText, NamesShownWithReplacementCharactersAreFoundOnDisk) {
  TempDir dir;
  WriteFile(dir.path() / "bad\xFF.csv", "x");
  WriteFile(dir.path() / "two\xFE.csv", "x");
  WriteFile(dir.path() / "two\xFD.csv", "x");
  const QString folder = QString::fromStdString(dir.Utf8());
  const QString replaced = QString(QChar(0xFFFD));
  EXPECT_EQ(PathBytes(PathTextOnDisk(folder + "/bad" + replaced + ".csv")),
            dir.Utf8() + "/bad\xFF.csv");
  EXPECT_EQ(PathTextOnDisk(folder + "/two" + replaced + ".csv"),
            folder + "/two" + replaced + ".csv");
  EXPECT_EQ(PathTextOnDisk(folder + "/gone" + replaced), folder + "/gone" + replaced);
  EXPECT_EQ(PathTextOnDisk(folder + "/plain.csv"), folder + "/plain.csv");
}
#endif

TEST(QtRandom, FractionsStayInRangeAndTheSeedDecides) {
  QtRandom a;
  QtRandom b;
  a.Seed(43200.25);
  b.Seed(43200.25);
  int sevens = 0;
  for (int i = 0; i < 20000; ++i) {
    const double x = a.NextFraction();
    ASSERT_GE(x, 0.0);
    ASSERT_LT(x, 1.0);
    EXPECT_EQ(x, b.NextFraction());
    if (static_cast<int>(x * 100.0) + 1 == 7) ++sevens;
  }
  // About one draw in a hundred.
  EXPECT_GT(sevens, 120);
  EXPECT_LT(sevens, 280);
  QtRandom c;
  c.Seed(43201.0);
  a.Seed(43200.25);
  EXPECT_NE(a.NextFraction(), c.NextFraction());
}

#ifndef _WIN32
TEST(QtShell, DesktopFolderFallsBackToHomeWhenTheAccountHasNone) {
  TempDir dir;
  const QByteArray old_home = qgetenv("HOME");
  const QByteArray old_config = qgetenv("XDG_CONFIG_HOME");
  const QString home = QString::fromStdString(dir.Utf8() + "/home");
  std::filesystem::create_directories(dir.path() / "home");
  qputenv("HOME", home.toUtf8());
  qputenv("XDG_CONFIG_HOME", (dir.Utf8() + "/config").c_str());
  QtShell shell;
  EXPECT_EQ(shell.DesktopFolder(), home);
  std::filesystem::create_directories(dir.path() / "home" / "Desktop");
  EXPECT_EQ(shell.DesktopFolder(), home + "/Desktop");
  qputenv("HOME", old_home);
  if (old_config.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", old_config);
  }
}
#endif

TEST(DesktopOrHome, OnlyAnExistingDesktopIsTaken) {
  TempDir dir;
  const QString existing = QString::fromStdString(dir.Utf8());
  EXPECT_EQ(DesktopOrHome(existing, "/home/x"), QDir::toNativeSeparators(existing));
  EXPECT_EQ(DesktopOrHome(existing + "/missing", "/home/x"), QDir::toNativeSeparators("/home/x"));
  EXPECT_EQ(DesktopOrHome("", "/home/x"), QDir::toNativeSeparators("/home/x"));
}

// Where a real box opens: closed by the test as soon as it is up.
QRect ShownBoxGeometry(QWidget* owner, const QString& text = "A start-up failure",
                       const QString& caption = "Delvora") {
  QRect where;
  QTimer::singleShot(0, [&] {
    QWidget* box = nullptr;
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return (box = QApplication::activeModalWidget()) != nullptr; }));
    if (box == nullptr) return;
    EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
    where = box->frameGeometry();
    static_cast<QMessageBox*>(box)->accept();
  });
  QtMessageBoxes boxes;
  boxes.Show(owner, text, caption, MsgButtons::kOk, MsgIcon::kExclamation);
  return where;
}

TEST(QtMessageBoxes, CentredOnTheScreenUntilTheOwnerIsShownThenOverIt) {
  QWidget owner;
  owner.setGeometry(0, 0, 300, 200);  // where a window waits before it is shown
  const QPoint screen_centre = QApplication::primaryScreen()->availableGeometry().center();
  const QRect early = ShownBoxGeometry(&owner);
  ASSERT_TRUE(early.isValid());
  EXPECT_LE((early.center() - screen_centre).manhattanLength(), 4);

  owner.setGeometry(40, 60, 500, 400);
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
  const QRect later = ShownBoxGeometry(&owner);
  ASSERT_TRUE(later.isValid());
  EXPECT_LE((later.center() - owner.frameGeometry().center()).manhattanLength(), 30);
}

TEST(QtMessageBoxes, AShortTextStillLeavesRoomForTheWholeCaption) {
  const QString caption = "Velmark Delimited Text Converter Suite";
  const QRect box = ShownBoxGeometry(nullptr, "Done.", caption);
  ASSERT_TRUE(box.isValid());
  EXPECT_GE(box.width(), QFontMetrics(QApplication::font()).horizontalAdvance(caption) + 60);
}

}  // namespace
}  // namespace delvora::testing
