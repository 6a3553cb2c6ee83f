// Our skin format and component.

#include "app/skin.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>

#include "app/app_test_support.h"
#include "platform/app_error.h"
#include "support/test_support.h"

namespace delvora::testing {
namespace {

const char kGoodSkin[] =
    "Delvora skin 1\n"
    "; comment\n"
    "\n"
    "@name Test Skin\n"
    "@palette Window #102030\n"
    "@palette ButtonText red\n"
    "@style\n"
    "QPushButton { color: blue; }\n"
    "@palette is style text here\n";

TEST(SkinFormat, ParsesHeaderDirectivesAndStyleSheet) {
  const SkinDefinition skin = ParseSkin(QByteArray("\xEF\xBB\xBF") + kGoodSkin);
  EXPECT_EQ(skin.name, "Test Skin");
  ASSERT_EQ(skin.colours.size(), 2u);
  EXPECT_EQ(skin.colours[0].first, QPalette::Window);
  EXPECT_EQ(skin.colours[0].second, QColor(0x10, 0x20, 0x30));
  EXPECT_EQ(skin.colours[1].first, QPalette::ButtonText);
  EXPECT_EQ(skin.style_sheet, "QPushButton { color: blue; }\n@palette is style text here\n");
}

TEST(SkinFormat, MalformedFilesAreRejectedWithInvalidFormat) {
  const char* bad[] = {
      "",
      "QWidget { color: red; }",
      "Delvora skin 2\n@style\n",
      "Delvora skin 1\nno style section\n",
      "Delvora skin 1\n@palette Nothing #fff\n@style\n",
      "Delvora skin 1\n@palette Window notacolour\n@style\n",
      "Delvora skin 1\n@palette Window\n@style\n",
      "Delvora skin 1\n@unknown x\n@style\n",
  };
  for (const char* text : bad) {
    EXPECT_EQ(ErrorNumberOf([&] { ParseSkin(text); }), 321) << text;
  }
}

TEST(SkinFramework, LoadFailuresKeepThePreviousSkin) {
  TempDir dir;
  const QString good = QString::fromStdString((dir / "good.cjs").string());
  WriteFile(dir / "good.cjs", kGoodSkin);
  WriteFile(dir / "bad.cjs", "garbage");
  std::filesystem::create_directory(dir / "folder.cjs");
  SkinFramework skin;
  EXPECT_FALSE(skin.IsLoaded());
  skin.LoadSkin(good, "");
  EXPECT_TRUE(skin.IsLoaded());
  EXPECT_EQ(ErrorNumberOf([&] { skin.LoadSkin(good, "Other Name"); }), 321);
  EXPECT_NO_THROW(skin.LoadSkin(good, "Test Skin"));
  EXPECT_EQ(ErrorNumberOf(
                [&] { skin.LoadSkin(QString::fromStdString((dir / "missing.cjs").string()), ""); }),
            53);
  EXPECT_EQ(ErrorNumberOf(
                [&] { skin.LoadSkin(QString::fromStdString((dir / "folder.cjs").string()), ""); }),
            75);
  EXPECT_EQ(
      ErrorNumberOf([&] { skin.LoadSkin(QString::fromStdString((dir / "bad.cjs").string()), ""); }),
      321);
  EXPECT_EQ(skin.definition().name, "Test Skin");
}

TEST(SkinFramework, SwitchesDecideWhatIsAppliedAndWhere) {
  TempDir dir;
  WriteFile(dir / "s.cjs", kGoodSkin);
  const QString path = QString::fromStdString((dir / "s.cjs").string());
  {
    QWidget window;
    auto* button = new QPushButton(&window);
    SkinFramework skin;
    skin.LoadSkin(path, "");
    skin.ApplyWindow(&window);  // both switches off: nothing
    EXPECT_TRUE(window.styleSheet().isEmpty());
    EXPECT_NE(window.palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    skin.SetApplyColours(true);
    skin.SetApplyStyle(true);
    skin.ApplyWindow(&window);  // without the dialog bit: the controls only
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    EXPECT_TRUE(window.styleSheet().isEmpty());
    EXPECT_FALSE(button->styleSheet().isEmpty());
  }
  {
    QWidget window;
    SkinFramework skin;
    skin.LoadSkin(path, "");
    skin.SetOptions(skin.Options() | SkinFramework::kOptionSkinDialogs);
    skin.SetApplyStyle(true);
    skin.ApplyWindow(&window);
    EXPECT_EQ(window.styleSheet(), skin.definition().style_sheet);
  }
  {
    QWidget window;
    SkinFramework never_loaded;
    never_loaded.SetApplyStyle(true);
    never_loaded.ApplyWindow(&window);
    EXPECT_TRUE(window.styleSheet().isEmpty());
  }
}

}  // namespace
}  // namespace delvora::testing
