// The window as created: controls, geometry, fonts, keyboard order, the list
// adapter.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTreeView>
#include <utility>
#include <vector>

#include "gui/window_test_support.h"
#include "platform/progress_bar.h"
#include "platform/twips.h"

namespace delvora::testing {
namespace {

struct ControlRow {
  const char* name;
  const char* kind;
  const char* text;
  const char* container;
};

// Every control, top-level ones from the top of the window down.
const ControlRow kControls[] = {
    {"PushButton2", "QPushButton", "Help", "Form1"},
    {"ListView1", "QTreeView", "", "Form1"},
    {"PushButton8", "QPushButton", "Add CSV File(s)", "Form1"},
    {"PushButton9", "QPushButton", "Add All CSV File(s) In Folder", "Form1"},
    {"PushButton4", "QPushButton", "Clear List", "Form1"},
    {"PushButton5", "QPushButton", "Load Sample/Example Files", "Form1"},
    {"Frame2", "QGroupBox", "CSV Delimiter", "Form1"},
    {"Frame5", "QGroupBox", "Save Option", "Form1"},
    {"PushButton7", "QPushButton", "Start Converting", "Form1"},
    {"ProgressBar1", "QProgressBar", "Progress Bar", "Form1"},
    {"Option1", "QRadioButton", "Comma", "Frame2"},
    {"Option2", "QRadioButton", "Comma-space", "Frame2"},
    {"Option3", "QRadioButton", "Semicolon", "Frame2"},
    {"Option4", "QRadioButton", "Tab (hide)", "Frame2"},
    {"Option5", "QRadioButton", "Other", "Frame2"},
    {"Text2", "QLineEdit", "|", "Frame2"},
    {"Option6", "QRadioButton", "Save results to this folder:", "Frame5"},
    {"Frame6", "QGroupBox", "", "Frame5"},
    {"Option7", "QRadioButton", "Save results in folder of original file", "Frame5"},
    {"Text1", "QLineEdit", "", "Frame6"},
    {"PushButton1", "QPushButton", "...", "Frame6"},
};

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  if (auto* bar = qobject_cast<QProgressBar*>(widget)) return bar->text();
  return QString();
}

TEST(WindowLayout, EveryControlHasItsNameKindTextAndContainer) {
  WindowHarness harness;
  Form1& window = harness.Create();
  EXPECT_EQ(window.objectName(), "Form1");
  EXPECT_EQ(window.windowTitle(), "Form1");
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* widget = window.findChild<QWidget*>(QLatin1String(row.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(row.kind));
    EXPECT_EQ(TextOf(widget), QString::fromUtf8(row.text));
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), row.container);
    EXPECT_TRUE(widget->isEnabled());
    // Only the hidden tab option; no access keys in any caption.
    EXPECT_EQ(widget->isVisibleTo(&window), QLatin1String(row.name) != "Option4");
    EXPECT_FALSE(TextOf(widget).contains('&'));
  }
  EXPECT_TRUE(window.Option1->isChecked());
  EXPECT_TRUE(window.Option6->isChecked());
  EXPECT_FALSE(window.Option2->isChecked() || window.Option3->isChecked() ||
               window.Option4->isChecked() || window.Option5->isChecked() ||
               window.Option7->isChecked());
}

// The places measured on the window's widgets, held to the design's rules in
// twips: a 120-twip margin, rows 7800 twips wide, paired buttons of 3840
// twips on one line with 120 between them, the top-level controls one below
// the other, and each option and box inside its frame, 120 twips clear of its
// sides.
TEST(WindowLayout, MeasuredPlacesKeepTheDesignsMarginsRowsAndFrames) {
  WindowHarness harness;
  Form1& window = harness.Create();
  const auto at = [&](const char* name) {
    return window.findChild<QWidget*>(QLatin1String(name))->geometry();
  };
  const int margin = TwipsToPixels(120);
  for (const char* full :
       {"PushButton2", "ListView1", "Frame2", "Frame5", "PushButton7", "ProgressBar1"}) {
    SCOPED_TRACE(full);
    EXPECT_EQ(at(full).x(), margin);
    EXPECT_EQ(at(full).width(), TwipsToPixels(7800));
  }
  for (const auto& [left, right] :
       {std::pair{"PushButton8", "PushButton9"}, std::pair{"PushButton4", "PushButton5"}}) {
    SCOPED_TRACE(left);
    EXPECT_EQ(at(left).x(), margin);
    EXPECT_EQ(at(right).x(), TwipsToPixels(120 + 3840 + 120));
    EXPECT_EQ(at(left).width(), TwipsToPixels(3840));
    EXPECT_EQ(at(right).width(), at(left).width());
    EXPECT_EQ(at(right).y(), at(left).y());
    EXPECT_EQ(at(right).height(), at(left).height());
  }
  int below = margin;  // the first control starts a margin down
  for (const char* row : {"PushButton2", "ListView1", "PushButton8", "PushButton4", "Frame2",
                          "Frame5", "PushButton7", "ProgressBar1"}) {
    SCOPED_TRACE(row);
    EXPECT_GE(at(row).y(), below);
    below = at(row).y() + at(row).height();
  }
  EXPECT_LE(below, window.height() - margin);
  for (const ControlRow& row : kControls) {
    QWidget* widget = window.findChild<QWidget*>(QLatin1String(row.name));
    if (widget->parentWidget() == &window) continue;
    SCOPED_TRACE(row.name);
    EXPECT_GE(widget->x(), margin);
    EXPECT_LE(widget->geometry().right(), widget->parentWidget()->width() - margin);
    EXPECT_GE(widget->y(), 0);
    EXPECT_LE(widget->geometry().bottom(), widget->parentWidget()->height());
  }
}

TEST(WindowLayout, WindowIsFixedSizeWhiteWithoutMaximiseAndUsesTheGivenFonts) {
  WindowHarness harness;
  Form1& window = harness.Create();
  EXPECT_EQ(window.minimumSize(), QSize(TwipsToPixels(8040), TwipsToPixels(7980)));
  // Figures that are no multiple of 15 land on the nearer pixel.
  EXPECT_EQ(TwipsToPixels(3250), 217);
  EXPECT_EQ(TwipsToPixels(7450), 497);
  EXPECT_EQ(TwipsToPixels(7000), 467);
  EXPECT_EQ(window.maximumSize(), window.minimumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(window.Frame2->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(window.Option1->palette().color(QPalette::Window), QColor(Qt::white));

  const auto expect_font = [](QWidget* widget, double points) {
    SCOPED_TRACE(widget->objectName().toStdString());
    EXPECT_EQ(widget->font().family(), "Arial");
    EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), points);
    EXPECT_TRUE(widget->font().bold());
  };
  expect_font(&window, 9);
  for (QWidget* w : {static_cast<QWidget*>(window.Frame2), static_cast<QWidget*>(window.Option3),
                     static_cast<QWidget*>(window.Text1), static_cast<QWidget*>(window.Text2),
                     static_cast<QWidget*>(window.ListView1)}) {
    expect_font(w, 9);
  }
  for (QPushButton* b :
       {window.PushButton1, window.PushButton2, window.PushButton4, window.PushButton5,
        window.PushButton7, window.PushButton8, window.PushButton9}) {
    expect_font(b, 11.25);
  }
}

// The rows of a grabbed frame where a line runs from its left edge up to
// `reach` (options hide it further on; a frame inside starts further in).
std::vector<int> LineRows(QWidget* frame, int reach) {
  const QImage image = frame->grab().toImage();
  const QRgb line = frame->palette().color(QPalette::Mid).rgb();
  std::vector<int> rows;
  for (int y = 0; y < image.height(); ++y) {
    int run = 0;
    while (run < image.width() && image.pixel(run, y) == line) ++run;
    if (run >= reach) rows.push_back(y);
  }
  return rows;
}

TEST(WindowLayout, FrameLinesPassAboveTheFirstRowOfOptionsInEveryStyle) {
  const QString before = QApplication::style()->name();
  for (const char* style : {"Windows", "Fusion"}) {
    SCOPED_TRACE(style);
    QApplication::setStyle(QStyleFactory::create(QLatin1String(style)));
    WindowHarness harness;
    Form1& window = harness.Create();
    for (const auto& [frame, first] : {std::pair<QWidget*, QWidget*>{window.Frame2, window.Option1},
                                       {window.Frame5, window.Option6}}) {
      SCOPED_TRACE(frame->objectName().toStdString());
      const std::vector<int> rows = LineRows(frame, first->x());
      ASSERT_FALSE(rows.empty());
      EXPECT_LT(rows.front(), first->y());
      for (int y : rows) EXPECT_FALSE(y >= first->y() && y <= first->geometry().bottom()) << y;
    }
  }
  QApplication::setStyle(QStyleFactory::create(before));
}

TEST(WindowLayout, OnlyTheListHasATooltipAndItIsWordForWord) {
  WindowHarness harness;
  Form1& window = harness.Create();
  EXPECT_EQ(window.ListView1->toolTip(),
            "Drag and drop files here. Double-click item to remove it. Move | line to right and "
            "out of window to reveal full names.");
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (widget != window.ListView1) {
      EXPECT_TRUE(widget->toolTip().isEmpty()) << widget->objectName().toStdString();
    }
  }
}

TEST(WindowLayout, KeyboardFocusFollowsTheTabOrderAndSkipsFramesBarAndHiddenOption) {
  WindowHarness harness;
  Form1& window = harness.Create();
  QStringList order;
  QWidget* at = window.ListView1;
  do {
    if (at->isVisibleTo(&window) && (at->focusPolicy() & Qt::TabFocus) && at->isWindow() == false &&
        (at->parentWidget() == &window || at->parentWidget() == window.Frame2 ||
         at->parentWidget() == window.Frame5 || at->parentWidget() == window.Frame6)) {
      order << at->objectName();
    }
    at = at->nextInFocusChain();
  } while (at != window.ListView1 && order.size() < 40);
  EXPECT_EQ(order,
            QStringList({"ListView1", "PushButton8", "PushButton9", "PushButton4", "PushButton5",
                         "PushButton7", "PushButton2", "Option1", "Option2", "Option3", "Option5",
                         "Text2", "Option7", "Option6", "Text1", "PushButton1"}));
}

TEST(WindowLayout, ShownWindowIsCentredOnItsScreenWithRoomForItsTitleBar) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // Where nothing frames it the title bar it will have is counted at the
  // style's height above it.
  QRect frame = window.frameGeometry();
  if (frame == window.geometry()) {
    frame.setTop(frame.top() -
                 window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window));
  }
  const QRect area = window.screen()->availableGeometry();
  EXPECT_LE(std::abs(frame.center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(frame.center().y() - area.center().y()), 1);
  EXPECT_TRUE(area.contains(frame));
}

// The frame centred on the available area, moved inside it, its title bar
// on it even where it is larger than the area (a scale of 2 on 1280x1024).
TEST(WindowLayout, TheFrameIsPlacedInsideTheAvailableAreaWhereItFits) {
  struct Case {
    QRect area;
    QSize frame;
    QPoint at;
  };
  const Case cases[] = {
      {{0, 0, 1280, 1024}, {538, 553}, {371, 235}},      // centred
      {{0, 32, 1280, 992}, {538, 553}, {371, 251}},      // below a panel
      {{0, 0, 640, 512}, {536, 556}, {52, 0}},           // taller than the area
      {{100, 50, 400, 300}, {600, 200}, {100, 100}},     // wider than the area
      {{1280, 0, 1920, 1080}, {538, 553}, {1971, 263}},  // a second screen
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FramePositionOn(c.area, c.frame), c.at)
        << c.area.x() << "," << c.area.y() << " " << c.frame.width() << "x" << c.frame.height();
  }
}

TEST(ListViewAdapter, PositionsAreOneBasedAndOutOfRangeIsHarmless) {
  ListTreeView tree;
  tree.setHeaderHidden(true);
  ListView list(&tree);
  EXPECT_EQ(list.Count(), 0);
  list.AddColumn("CSV File(s)");
  list.SetColumnWidthTwips(1, 7000);
  EXPECT_EQ(list.ColumnCount(), 1);
  EXPECT_EQ(list.ColumnHeader(1), "CSV File(s)");
  EXPECT_EQ(tree.model()->headerData(0, Qt::Horizontal), "CSV File(s)");
  EXPECT_EQ(tree.columnWidth(0), 467);
  EXPECT_FALSE(tree.isHeaderHidden());

  list.Add("a");
  list.AddMany({"b", "a"});
  list.AddMany({});
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(tree.model()->rowCount(), 3);
  EXPECT_EQ(list.Text(1), "a");
  EXPECT_EQ(list.Text(3), "a");
  EXPECT_EQ(list.Text(0), "");
  EXPECT_EQ(list.Text(4), "");
  EXPECT_FALSE(tree.model()->flags(tree.model()->index(0, 0)) & Qt::ItemIsEditable);
  list.Remove(0);
  list.Remove(9);
  list.SetText(9, "x");
  EXPECT_EQ(list.Count(), 3);

  EXPECT_EQ(list.SelectedItem(), 0);
  list.Select(2);
  EXPECT_EQ(list.SelectedItem(), 2);
  list.Select(3);
  EXPECT_EQ(list.SelectedItem(), 3);
  list.Remove(1);
  EXPECT_EQ(list.Text(1), "b");
  EXPECT_EQ(list.SelectedItem(), 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.SelectedItem(), 0);
}

TEST(ListViewAdapter, ContainsTextFollowsEveryChange) {
  ListTreeView tree;
  ListView list(&tree);
  list.AddColumn("CSV File(s)");
  list.Add("/a.csv");
  list.Add("/b.csv");
  list.Add("/a.csv");
  EXPECT_TRUE(list.ContainsText("/a.csv"));
  EXPECT_FALSE(list.ContainsText("/A.csv"));
  list.Remove(1);
  EXPECT_TRUE(list.ContainsText("/a.csv"));  // the second copy is still there
  list.Remove(2);
  EXPECT_FALSE(list.ContainsText("/a.csv"));
  list.SetText(1, "/c.csv");
  EXPECT_FALSE(list.ContainsText("/b.csv"));
  EXPECT_TRUE(list.ContainsText("/c.csv"));
  list.AddMany({"/d.csv", "/e.csv"});
  EXPECT_TRUE(list.ContainsText("/e.csv"));
  list.Clear();
  EXPECT_FALSE(list.ContainsText("/e.csv"));
  list.Add("/f.csv");
  EXPECT_TRUE(list.ContainsText("/f.csv"));
}

TEST(ListViewAdapter, WidgetOutlivingTheAdapterKeepsItsEntries) {
  ListTreeView tree;
  {
    auto list = std::make_unique<ListView>(&tree);
    list->AddColumn("CSV File(s)");
    list->Add("/a.csv");
  }
  ASSERT_NE(tree.model(), nullptr);
  EXPECT_EQ(tree.model()->rowCount(), 1);
  EXPECT_EQ(tree.model()->index(0, 0).data(), "/a.csv");
}

TEST(ListViewAdapter, HitTestAndEnsureVisibleFindTheEntryOnScreen) {
  ListTreeView tree;
  tree.resize(300, 120);
  ListView list(&tree);
  list.AddColumn("CSV File(s)");
  for (int i = 1; i <= 200; ++i) list.Add(QString("/file%1.csv").arg(i));
  tree.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
  const QRect first = list.EntryRect(1);
  EXPECT_EQ(list.HitTest(first.center()), 1);
  EXPECT_EQ(list.HitTest(QPoint(5, tree.viewport()->height() + 500)), 0);
  EXPECT_TRUE(list.EntryRect(201).isEmpty());
  list.EnsureVisible(150);
  const QRect row = list.EntryRect(150);
  EXPECT_TRUE(tree.viewport()->rect().intersects(row));
  EXPECT_EQ(list.HitTest(row.center()), 150);
}

}  // namespace
}  // namespace delvora::testing
