// The window for keyboard users and for what they see: Enter on a button,
// Tab into the list, visible focus, the folder picker, long names and texts
// that fit their controls in the font the system really gives the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTreeView>
#include <cmath>
#include <optional>
#include <tuple>

#include "gui/window_test_support.h"
#include "platform/progress_bar.h"

namespace delvora::testing {
namespace {

TEST(WindowKeyboard, EnterAndKeypadEnterPressTheFocusedButton) {
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Return, Qt::NoModifier},
                                                            {Qt::Key_Enter, Qt::KeypadModifier}};
  for (const auto& [key, modifiers] : keys) {
    WindowHarness harness;
    Form1& window = harness.CreateAndLoad();
    window.List().Add("/data/a.csv");
    ShowActive(window);
    window.PushButton2->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window.PushButton2, key, modifiers);
    EXPECT_EQ(harness.boxes.shown.size(), 1u);  // the Help notice
    window.PushButton4->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window.PushButton4, key, modifiers);
    EXPECT_EQ(window.List().Count(), 0);
    window.PushButton1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window.PushButton1, key, modifiers);
    EXPECT_EQ(harness.folder_picker.calls.size(), 1u);
  }
}

TEST(WindowKeyboard, TabbingIntoTheListSelectsAnEntrySoDeleteWorksAtOnce) {
  for (const Qt::Key key : {Qt::Key_Backtab, Qt::Key_Tab}) {
    WindowHarness harness;
    Form1& window = harness.CreateAndLoad();
    window.List().AddMany({"/data/a.csv", "/data/b.csv"});
    ShowActive(window);
    QWidget* from = key == Qt::Key_Tab ? static_cast<QWidget*>(window.PushButton1)
                                       : static_cast<QWidget*>(window.PushButton8);
    from->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(from, key);
    ASSERT_TRUE(window.ListView1->hasFocus());
    EXPECT_EQ(window.List().SelectedItem(), 1);
    QTest::keyClick(window.ListView1, Qt::Key_Delete);
    EXPECT_EQ(window.List().Count(), 1);
    EXPECT_EQ(window.List().Text(1), "/data/b.csv");
  }
}

double Luminance(const QColor& colour) {
  const auto channel = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
         0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Pixels whose colour the focus changed by a contrast of 3:1 or more; only
// those of the border (as wide as ring) when it is given, where a text
// box's caret cannot count.
int StrongFocusPixels(const QImage& without, const QImage& with, int ring = 0) {
  int strong = 0;
  const QRect inside = with.rect().adjusted(ring, ring, -ring, -ring);
  for (int y = 0; y < with.height(); ++y) {
    for (int x = 0; x < with.width(); ++x) {
      if (ring > 0 && inside.contains(x, y)) continue;
      if (Contrast(with.pixelColor(x, y), without.pixelColor(x, y)) >= 3.0) ++strong;
    }
  }
  return strong;
}

// A dark desktop, as GTK_THEME=Adwaita:dark gives one, for one test's span.
class DarkDesktop {
 public:
  DarkDesktop() : before_(QApplication::palette()) {
    QPalette dark;
    const std::pair<QPalette::ColorRole, const char*> colours[] = {
        {QPalette::Window, "#353535"},
        {QPalette::WindowText, "#F0F0F0"},
        {QPalette::Base, "#2A2A2A"},
        {QPalette::AlternateBase, "#303030"},
        {QPalette::Text, "#F0F0F0"},
        {QPalette::Button, "#353535"},
        {QPalette::ButtonText, "#F0F0F0"},
        {QPalette::Highlight, "#2A82DA"},
        {QPalette::HighlightedText, "#FFFFFF"},
        {QPalette::Light, "#505050"},
        {QPalette::Midlight, "#454545"},
        {QPalette::Mid, "#2B2B2B"},
        {QPalette::Dark, "#1E1E1E"},
        {QPalette::Shadow, "#141414"},
        {QPalette::PlaceholderText, "#A0A0A0"},
        {QPalette::ToolTipBase, "#353535"},
        {QPalette::ToolTipText, "#F0F0F0"}};
    for (const auto& [role, colour] : colours) dark.setColor(role, QColor(colour));
    QApplication::setPalette(dark);
  }
  ~DarkDesktop() { QApplication::setPalette(before_); }
  DarkDesktop(const DarkDesktop&) = delete;
  DarkDesktop& operator=(const DarkDesktop&) = delete;

 private:
  QPalette before_;
};

// The colour most pixels of the image have: what the text stands on.
QColor Background(const QImage& image) {
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  }
  QRgb most = 0;
  int best = -1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() > best) {
      best = it.value();
      most = it.key();
    }
  }
  return QColor::fromRgb(most);
}

// The strongest contrast of any pixel against the background: a caption's
// strokes at their full colour.
double TextContrast(const QImage& image) {
  const QColor background = Background(image);
  double strongest = 1.0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      strongest = std::max(strongest, Contrast(image.pixelColor(x, y), background));
    }
  }
  return strongest;
}

class WindowColours : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(WindowColours, TextReadsAtFourAndAHalfToOneAndFocusIsSeenAtThreeToOne) {
  const auto [dark_desktop, skinned] = GetParam();
  std::optional<DarkDesktop> dark;
  if (dark_desktop) dark.emplace();
  WindowHarness harness;
  Form1& window = OpenWindow(harness, skinned);
  window.List().Add("/data/a.csv");
  ShowActive(window);

  // Captions, each on what it stands on; a frame's caption is its top.
  const auto area = [&](QWidget* control, int height = -1) {
    return QRect(control->mapTo(&window, QPoint()),
                 QSize(control->width(), height < 0 ? control->height() : height));
  };
  const std::pair<QWidget*, QRect> captions[] = {
      {window.Option1, area(window.Option1)},
      {window.Option3, area(window.Option3)},
      {window.Option5, area(window.Option5)},
      {window.Option6, area(window.Option6)},
      {window.Option7, area(window.Option7)},
      {window.Frame2, area(window.Frame2, 16)},
      {window.Frame5, area(window.Frame5, 16)},
      {window.PushButton2, area(window.PushButton2)},
      {window.PushButton7, area(window.PushButton7)},
      {window.Text1, area(window.Text1)},
      {window.ProgressBar1, area(window.ProgressBar1)},
      {window.ListView1,
       QRect(window.ListView1->mapTo(&window, window.List().EntryRect(1).topLeft() +
                                                  window.ListView1->viewport()->pos()),
             window.List().EntryRect(1).size())}};
  window.PushButton2->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  const QImage whole = window.grab().toImage();
  for (const auto& [control, rect] : captions) {
    EXPECT_GE(TextContrast(whole.copy(rect)), 4.5) << control->objectName().toStdString();
  }

  QWidget* const controls[] = {window.ListView1,   window.PushButton8, window.PushButton9,
                               window.PushButton4, window.PushButton5, window.PushButton7,
                               window.PushButton2, window.Option1,     window.Text2,
                               window.Option6,     window.Text1,       window.PushButton1};
  for (QWidget* control : controls) {
    SCOPED_TRACE(control->objectName().toStdString());
    QWidget* elsewhere = control == window.PushButton2 ? window.PushButton8 : window.PushButton2;
    elsewhere->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    // From the window, so that what shows through a control counts too.
    const QRect around = area(control);
    const QImage without = window.grab(around).toImage();
    control->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(control->hasFocus());
    // At least a line the control's height long, in all.
    const int ring = control == window.Text1 || control == window.Text2 ? 2 : 0;
    EXPECT_GE(StrongFocusPixels(without, window.grab(around).toImage(), ring), control->height());
  }
}

INSTANTIATE_TEST_SUITE_P(LightAndDarkDesktops, WindowColours,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& param_info) {
                           return std::string(std::get<0>(param_info.param) ? "Dark" : "Light") +
                                  (std::get<1>(param_info.param) ? "Skinned" : "Plain");
                         });

// A picker that takes the activation and is confirmed with Enter, owned by
// the window as the real one is (picker_keys_test.py drives the real one).
TEST(WindowKeyboard, KeysStillReachTheWindowAfterThePickerIsConfirmedWithEnter) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  harness.folder_picker.results = {"/data/out"};
  harness.folder_picker.on_browse = [](QWidget* owner) {
    QDialog picker(owner);
    auto* ok = new QPushButton("OK", &picker);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &picker, &QDialog::accept);
    picker.show();
    picker.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&picker));
    QTest::keyClick(&picker, Qt::Key_Return);
    ASSERT_FALSE(picker.isVisible());
  };
  ShowActive(window);
  window.PushButton1->setFocus(Qt::TabFocusReason);
  QTest::keyClick(window.PushButton1, Qt::Key_Return);
  ASSERT_EQ(harness.folder_picker.calls.size(), 1u);
  EXPECT_EQ(window.Text1->text(), "/data/out" + Sep());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_TRUE(window.PushButton1->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_TRUE(window.Text1->hasFocus());
}

TEST(WindowKeyboard, ALongNameIsCutAtTheColumnsEdgeNotShortened) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  window.List().Add("/data/" + QString(200, 'M') + ".csv");
  ShowActive(window);
  QTreeView* list = window.ListView1;
  list->clearSelection();
  list->setCurrentIndex({});
  const QImage image = list->viewport()->grab().toImage();
  const QRect row = window.List().EntryRect(1);
  const int edge = list->header()->sectionSize(0);
  // The upper half of the row just left of the edge: letters reach there,
  // an ellipsis ("…") sits on the baseline only.
  int ink = 0;
  for (int y = row.top() + 2; y < row.center().y(); ++y) {
    for (int x = edge - 8; x < edge - 1; ++x) {
      if (Luminance(image.pixelColor(x, y)) < 0.5) ++ink;
    }
  }
  EXPECT_GT(ink, 4);
}

// Every caption's room, as the style lays the control out, against the
// width of its text in the font actually used.
QStringList ClippedCaptions(Form1& window) {
  QStringList clipped;
  for (QRadioButton* option : window.findChildren<QRadioButton*>()) {
    if (!option->isVisibleTo(&window)) continue;
    QStyleOptionButton style_option;
    style_option.initFrom(option);
    style_option.text = option->text();
    const QRect room =
        option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style_option, option);
    const int needed = option->fontMetrics().horizontalAdvance(option->text());
    if (needed > room.intersected(option->rect()).width()) clipped << option->objectName();
  }
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
    const int needed = button->fontMetrics().horizontalAdvance(button->text()) + margin;
    if (needed > button->width() || button->fontMetrics().height() > button->height()) {
      clipped << button->objectName();
    }
  }
  for (QGroupBox* frame : window.findChildren<QGroupBox*>()) {
    if (frame->title().isEmpty()) continue;
    QStyleOptionGroupBox style_option;
    style_option.initFrom(frame);
    style_option.text = frame->title();
    style_option.subControls = QStyle::SC_GroupBoxLabel;
    const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &style_option,
                                                       QStyle::SC_GroupBoxLabel, frame);
    if (!frame->rect().contains(label) ||
        frame->fontMetrics().horizontalAdvance(frame->title()) > label.width()) {
      clipped << frame->objectName();
    }
  }
  return clipped;
}

// Measuring needs the system's fonts; a platform without a font database
// (the offscreen one under Wine) has nothing to measure.
bool HasFonts(QWidget* widget) { return !QFontInfo(widget->font()).family().isEmpty(); }

TEST(WindowKeyboard, EveryCaptionFitsItsControlInTheFontTheSystemGives) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  ShowActive(window);
  if (!HasFonts(&window)) GTEST_SKIP() << "no font database";
  const QString family = QFontInfo(window.Option7->font()).family();
  EXPECT_EQ(ClippedCaptions(window), QStringList()) << "in " << family.toStdString();

  // The check sees what a wider font stand-in does to the fixed layout.
  if (!QFontDatabase::families().contains("DejaVu Sans")) return;
  for (QWidget* child : window.findChildren<QWidget*>()) {
    QFont wider = child->font();
    wider.setFamily("DejaVu Sans");
    child->setFont(wider);
  }
  EXPECT_TRUE(ClippedCaptions(window).contains("Option7"));
}

// Columns of the image's top `rows` that hold dark (text) pixels: first to last.
int InkWidth(const QImage& image, int rows, int from_x) {
  int first = -1;
  int last = -1;
  for (int x = from_x; x < image.width(); ++x) {
    for (int y = 0; y < rows && y < image.height(); ++y) {
      if (Luminance(image.pixelColor(x, y)) < 0.3) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return first < 0 ? 0 : last - first + 1;
}

TEST(WindowKeyboard, UnderTheSkinCaptionsAndHeaderAreInTheWindowsFontOnItsColour) {
  WindowHarness harness;
  InstallResource(harness, "x/o.cjs");
  Form1& window = harness.CreateAndLoad();
  window.List().Add("/data/a.csv");
  ShowActive(window);
  if (!HasFonts(&window)) GTEST_SKIP() << "no font database";
  QFont bold("Arial");
  bold.setPointSizeF(9);
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  QWidget* header = window.ListView1->header()->viewport();
  const struct {
    QWidget* widget;
    QString text;
    int rows;
    int from_x;
  } captions[] = {{window.Frame2, "CSV Delimiter", metrics.height(), 0},
                  {window.Frame5, "Save Option", metrics.height(), 0},
                  {header, "CSV File(s)", header->height(), 0}};
  for (const auto& caption : captions) {
    SCOPED_TRACE(caption.text.toStdString());
    const int expected = metrics.boundingRect(caption.text).width();
    EXPECT_NEAR(InkWidth(caption.widget->grab().toImage(), caption.rows, caption.from_x), expected,
                3);
  }
  // Blank places in the frames and options: the window's own colour.
  const QImage whole = window.grab().toImage();
  const QColor window_colour = whole.pixelColor(4, 4);
  const std::pair<QWidget*, QPoint> spots[] = {{window.Frame2, {350, 42}},
                                               {window.Frame5, {400, 91}},
                                               {window.Option1, {73, 7}},
                                               {window.Option7, {235, 8}}};
  for (const auto& [widget, at] : spots) {
    SCOPED_TRACE(widget->objectName().toStdString());
    EXPECT_EQ(whole.pixelColor(widget->mapTo(&window, at)).name().toStdString(),
              window_colour.name().toStdString());
  }
}

}  // namespace
}  // namespace delvora::testing
