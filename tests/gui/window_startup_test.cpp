// Start-up: restoring the saved choices, the skin, the hand pointer, the
// application title, the vendor page and the failure reports of each step.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/skin.h"
#include "gui/window_test_support.h"
#include "platform/product.h"
#include "platform/twips.h"

namespace delvora::testing {
namespace {

std::vector<bool> Options(Form1& w) {
  return {w.Option1->isChecked(), w.Option2->isChecked(), w.Option3->isChecked(),
          w.Option4->isChecked(), w.Option5->isChecked(), w.Option6->isChecked(),
          w.Option7->isChecked()};
}

TEST(WindowStartup, FirstStartShowsDefaultsAndWritesThemBack) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  EXPECT_TRUE(ErrorBoxes(harness.boxes).empty());
  EXPECT_EQ(window.windowTitle(), "Delvora");
  EXPECT_FALSE(window.windowIcon().isNull());
  EXPECT_EQ(Options(window), std::vector<bool>({true, false, false, false, false, true, false}));
  EXPECT_EQ(window.Text2->text(), "|");
  EXPECT_EQ(window.Text1->text(), harness.shell.desktop_folder + Sep());
  EXPECT_TRUE(window.Frame6->isEnabled());
  EXPECT_TRUE(window.Text1->isEnabled());
  EXPECT_EQ(window.List().ColumnHeader(1), "CSV File(s)");
  EXPECT_EQ(window.ListView1->columnWidth(0), TwipsToPixels(7000));

  // The restoring handlers stored what they restored.
  EXPECT_EQ(Setting(harness, "Text1"), harness.shell.desktop_folder + Sep());
  EXPECT_EQ(Setting(harness, "Option1"), "True");
  for (const char* key : {"Option2", "Option3", "Option4", "Option5", "Option7"}) {
    EXPECT_EQ(Setting(harness, key), "False") << key;
  }
  EXPECT_EQ(Setting(harness, "Option6"), "True");
  // And they are on disk: a second store over the same file sees them.
  SettingsStore second(harness.settings_file);
  EXPECT_EQ(second.GetSetting("Text1", "none"), harness.shell.desktop_folder + Sep());
}

TEST(WindowStartup, SavedChoicesComeBackIncludingOutputBesideInputs) {
  WindowHarness harness;
  harness.settings().SaveSetting("Option3", "True");
  harness.settings().SaveSetting("Option1", "False");
  harness.settings().SaveSetting("Option6", "False");
  harness.settings().SaveSetting("Option7", "True");
  harness.settings().SaveSetting("Text1", "/no/such/folder/");
  harness.settings().SaveSetting("Other", " ; ");
  Form1& window = harness.CreateAndLoad();
  EXPECT_TRUE(ErrorBoxes(harness.boxes).empty());
  EXPECT_EQ(Options(window), std::vector<bool>({false, false, true, false, false, false, true}));
  EXPECT_FALSE(window.Frame6->isEnabled());
  EXPECT_FALSE(window.Text1->isEnabled());
  EXPECT_FALSE(window.PushButton1->isEnabled());
  EXPECT_EQ(window.Text1->text(), "/no/such/folder/");
  EXPECT_EQ(window.Text2->text(), " ; ");
}

TEST(WindowStartup, EmptyStoredTextsAreRestoredEmpty) {
  WindowHarness harness;
  harness.settings().SaveSetting("Text1", "");
  harness.settings().SaveSetting("Other", "");
  Form1& window = harness.CreateAndLoad();
  EXPECT_EQ(window.Text1->text(), "");
  EXPECT_EQ(window.Text2->text(), "");
  EXPECT_TRUE(harness.boxes.shown.empty());
}

TEST(WindowStartup, HandEditedStoreWithTwoTrueOptionsLeavesTheLastRestored) {
  WindowHarness harness;
  harness.settings().SaveSetting("Option2", "True");
  harness.settings().SaveSetting("Option5", "True");
  harness.settings().SaveSetting("Option6", "True");
  harness.settings().SaveSetting("Option7", "True");
  Form1& window = harness.CreateAndLoad();
  EXPECT_EQ(Options(window), std::vector<bool>({false, false, false, false, true, false, true}));
  EXPECT_FALSE(window.Frame6->isEnabled());
  // The clicks stored each group whole again.
  EXPECT_EQ(Setting(harness, "Option2"), "False");
  EXPECT_EQ(Setting(harness, "Option5"), "True");
  EXPECT_EQ(Setting(harness, "Option6"), "False");
}

TEST(WindowStartup, OptionValuesAreNumbersOrBooleanWordsAndABadWordIsReportedAtItsStep) {
  WindowHarness harness;
  harness.settings().SaveSetting("Option1", "0");
  harness.settings().SaveSetting("Option2", "-1");
  harness.settings().SaveSetting("Option3", "Maybe");  // reported, keeps its state
  harness.settings().SaveSetting("Option4", "false");
  harness.settings().SaveSetting("Option6", "1");
  harness.settings().SaveSetting("Option7", "nan");
  Form1& window = harness.CreateAndLoad();
  EXPECT_EQ(Options(window), std::vector<bool>({false, true, false, false, false, true, false}));
  const std::vector<ShownBox> errors = ErrorBoxes(harness.boxes);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, QString("Type mismatch\r\nin Velmark2021/08/31.Form1.Form_Load at line "
                                    "144\r\rPlease email screenshot of this message to ") +
                                kSupportEmail);
  EXPECT_EQ(errors[0].icon, MsgIcon::kExclamation);
  EXPECT_EQ(errors[0].buttons, MsgButtons::kOk);
  EXPECT_TRUE(errors[1].text.contains("Form_Load at line 152\r\r"));
  // The steps after the failures still ran.
  EXPECT_TRUE(window.Frame6->isEnabled());
}

TEST(WindowStartup, ABadWordOnTheSelectedOptionKeepsItSelected) {
  WindowHarness harness;
  harness.settings().SaveSetting("Option1", "yes");
  Form1& window = harness.CreateAndLoad();
  EXPECT_TRUE(window.Option1->isChecked());
  ASSERT_EQ(ErrorBoxes(harness.boxes).size(), 1u);
  EXPECT_TRUE(ErrorBoxes(harness.boxes)[0].text.contains("at line 140"));
}

TEST(WindowStartup, WithoutADesktopFolderStep136FailsWholeAndText1StaysEmpty) {
  WindowHarness harness;
  harness.shell.desktop_folder.clear();
  harness.settings().SaveSetting("Text1", "/kept/");
  Form1& window = harness.CreateAndLoad();
  EXPECT_EQ(window.Text1->text(), "");
  EXPECT_EQ(Setting(harness, "Text1"), "/kept/");
  const std::vector<ShownBox> errors = ErrorBoxes(harness.boxes);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].text.startsWith("Invalid procedure call or argument\r\n"));
  EXPECT_TRUE(errors[0].text.contains("Form_Load at line 136"));
  EXPECT_EQ(window.Text2->text(), "|");  // and the sequence went on
}

TEST(WindowStartup, DesktopFolderGetsExactlyOneTrailingSeparator) {
  WindowHarness harness;
  harness.shell.desktop_folder = Sep();
  Form1& window = harness.CreateAndLoad();
  EXPECT_EQ(window.GetDesktopFolder(), Sep());
  harness.shell.desktop_folder = "/home/u/Desktop";
  EXPECT_EQ(window.GetDesktopFolder(), "/home/u/Desktop" + Sep());
}

TEST(WindowStartup, WithoutSkinFileTheWindowKeepsItsDesignLook) {
  WindowHarness harness;
  // A folder of that name is not a skin file.
  QDir().mkpath(harness.program_folder + "/x/o.cjs");
  Form1& window = harness.CreateAndLoad();
  EXPECT_FALSE(window.Skin().IsLoaded());
  EXPECT_TRUE(window.styleSheet().isEmpty());
  EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(window.Frame5->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(harness.boxes.shown.empty());
}

TEST(WindowStartup, ShippedSkinIsLoadedAndAppliedToTheWindow) {
  WindowHarness harness;
  InstallResource(harness, "x/o.cjs");
  Form1& window = harness.CreateAndLoad();
  EXPECT_TRUE(harness.boxes.shown.empty());
  ASSERT_TRUE(window.Skin().IsLoaded());
  EXPECT_TRUE(window.Skin().Options() & SkinFramework::kOptionSkinDialogs);
  EXPECT_FALSE(window.styleSheet().isEmpty());
  EXPECT_EQ(window.styleSheet(), window.Skin().definition().style_sheet);
  EXPECT_NE(window.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_NE(window.Option1->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(window.windowTitle(), "Delvora");
}

TEST(WindowStartup, RejectedSkinIsReportedAtStep100AndStartUpGoesOn) {
  WindowHarness harness;
  QDir().mkpath(harness.program_folder + "/x");
  WriteFile(harness.temp / "program/x/o.cjs", "QWidget { color: red; }\n");
  Form1& window = harness.CreateAndLoad();
  const std::vector<ShownBox> errors = ErrorBoxes(harness.boxes);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].text.startsWith("Invalid file format"));
  EXPECT_TRUE(errors[0].text.contains("Form_Load at line 100\r\r"));
  EXPECT_TRUE(window.styleSheet().isEmpty());
  EXPECT_EQ(window.windowTitle(), "Delvora");
  EXPECT_EQ(window.Text2->text(), "|");
}

TEST(WindowStartup,
     HandCursorIsOptionalButAFileThatIsNoPictureIsReportedAt106){{WindowHarness harness;
Form1& window = harness.CreateAndLoad();
EXPECT_FALSE(window.HasMouseIcon());
EXPECT_TRUE(harness.boxes.shown.empty());
}  // namespace
{
  WindowHarness harness;
  InstallResource(harness, "HAND-M.CUR");
  Form1& window = harness.CreateAndLoad();
  EXPECT_TRUE(window.HasMouseIcon());
  EXPECT_TRUE(harness.boxes.shown.empty());
}
{
  WindowHarness harness;
  WriteFile(harness.temp / "program/HAND-M.CUR", "not a cursor at all, just text");
  Form1& window = harness.CreateAndLoad();
  EXPECT_FALSE(window.HasMouseIcon());
  const std::vector<ShownBox> errors = ErrorBoxes(harness.boxes);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].text.startsWith("Invalid picture\r\n"));
  EXPECT_TRUE(errors[0].text.contains("at line 106"));
  EXPECT_EQ(window.windowTitle(), "Delvora");
}
{
  // Present but unreadable as a file.
  WindowHarness harness;
  QDir().mkpath(harness.program_folder + "/HAND-M.CUR");
  Form1& window = harness.CreateAndLoad();
  EXPECT_FALSE(window.HasMouseIcon());
  const std::vector<ShownBox> errors = ErrorBoxes(harness.boxes);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].text.contains("at line 106"));
}
#ifndef _WIN32
{
  // A pipe under the cursor's name must not hold start-up waiting for a
  // writer.
  WindowHarness harness;
  const std::string pipe = (harness.program_folder + "/HAND-M.CUR").toStdString();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  Form1& window = harness.CreateAndLoad();
  EXPECT_FALSE(window.HasMouseIcon());
  const std::vector<ShownBox> errors = ErrorBoxes(harness.boxes);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].text.contains("at line 106"));
}
#endif
}  // namespace delvora::testing

TEST(WindowStartup, ApplicationTitleCutsBeforeTheLastSpaceUntilShortEnough) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  EXPECT_EQ(window.ApplicationTitle(), "Delvora");  // no space: the whole title
  EXPECT_EQ(ApplicationTitleFor("Alpha Beta Gamma"), "Alpha Beta");
  // 50 characters, last word of 5 letters: cut to 44, still too long, cut again.
  const QString first(20, 'a');
  const QString second(23, 'b');
  const QString title = first + " " + second + " Hello";
  ASSERT_EQ(title.size(), 50);
  EXPECT_EQ(ApplicationTitleFor(title), first);
  // Nothing more to cut at: the long remainder stays rather than vanishing.
  const QString long_word(45, 'c');
  EXPECT_EQ(ApplicationTitleFor(long_word + " End"), long_word);
  EXPECT_EQ(ApplicationTitleFor(" Lead"), " Lead");
}

TEST(WindowStartup, VendorPageOpensOnlyWhenSevenIsDrawn) {
  {
    WindowHarness harness;
    harness.random.fraction = 0.5;  // draws 51
    harness.CreateAndLoad();
    EXPECT_TRUE(harness.shell.launched.empty());
    ASSERT_EQ(harness.random.seeds.size(), 1u);
    EXPECT_DOUBLE_EQ(harness.random.seeds[0], harness.clock.now);
  }
  for (double fraction : {0.0, 0.059, 0.07, 0.999}) {
    WindowHarness harness;
    harness.random.fraction = fraction;
    harness.CreateAndLoad();
    EXPECT_TRUE(harness.shell.launched.empty()) << fraction;
  }
  {
    WindowHarness harness;
    harness.random.fraction = 0.065;  // draws 7
    harness.CreateAndLoad();
    ASSERT_EQ(harness.shell.launched.size(), 1u);
#if defined(_WIN32)
    const QString program = "explorer";
#elif defined(__APPLE__)
    const QString program = "open";
#else
    const QString program = "xdg-open";
#endif
    EXPECT_EQ(harness.shell.launched[0], QStringList({program, kVendorHomePage}));
    EXPECT_TRUE(harness.boxes.shown.empty());
  }
}

TEST(WindowStartup, ClosingTheWindowEndsTheProgramsEventLoopAtOnce) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QEventLoop program_loop;
  QTimer::singleShot(0, &window, [&] { window.close(); });
  // A safety net only; the close ends the loop long before.
  QTimer::singleShot(10000, &program_loop, [&] { program_loop.exit(99); });
  EXPECT_EQ(program_loop.exec(), 0);
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(harness.boxes.shown.empty());  // nothing asked
}

TEST(WindowStartup, SampleListIsLeftAloneOnceRecorded) {
  WindowHarness harness;
  harness.settings().SaveSetting("Snapshot", "recorded before");
  harness.CreateAndLoad();
  EXPECT_EQ(Setting(harness, "Snapshot"), "recorded before");
}

}  // namespace
}  // namespace delvora::testing
