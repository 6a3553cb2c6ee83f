#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "app/skin.h"
#include "platform/progress_bar.h"
#include "platform/product.h"

namespace delvora {

namespace {

// Layout figures are in twips; 15 twips make one pixel at 96 dpi and Qt
// scales pixels for high-dpi screens.
int Px(int twips) { return twips / 15; }

void Place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QFont ArialBold(double points) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  button->setFont(ArialBold(11.25));
  button->setAutoDefault(false);
  return button;
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& text) {
  auto* option = new QRadioButton(text, parent);
  option->setObjectName(QLatin1String(name));
  option->setAutoFillBackground(true);
  return option;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& title) {
  auto* frame = new QGroupBox(title, parent);
  frame->setObjectName(QLatin1String(name));
  frame->setAutoFillBackground(true);
  return frame;
}

}  // namespace

EventHook::EventHook(QObject* target, std::function<bool(QObject*, QEvent*)> handler)
    : QObject(target), handler_(std::move(handler)) {
  target->installEventFilter(this);
}

bool EventHook::eventFilter(QObject* watched, QEvent* event) { return handler_(watched, event); }

Form1::Form1(const Seams& seams, QWidget* parent)
    : QWidget(parent), seams_(seams), error_box_(*seams.message_boxes, this) {
  BuildLayout();
  list_ = ListView(ListView1);
  WireWindowEvents();
  WireListEvents();
  WireAddEvents();
}

Form1::~Form1() = default;

void Form1::BuildLayout() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
  setFont(ArialBold(9));
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
  setFixedSize(Px(8040), Px(7980));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  PushButton2 = MakeButton(this, "PushButton2", QStringLiteral("Help"));
  Place(PushButton2, 120, 120, 7800, 405);

  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setFont(ArialBold(9));
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setDragEnabled(false);
  ListView1->setAcceptDrops(true);
  ListView1->viewport()->setAcceptDrops(true);
  ListView1->setDragDropMode(QAbstractItemView::DropOnly);
  ListView1->setColumnCount(1);
  ListView1->headerItem()->setText(0, QString());
  ListView1->header()->setStretchLastSection(false);
  ListView1->setToolTip(
      QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                     "right and out of window to reveal full names."));
  Place(ListView1, 120, 630, 7800, 2535);

  PushButton8 = MakeButton(this, "PushButton8", QStringLiteral("Add CSV File(s)"));
  Place(PushButton8, 120, 3250, 3840, 405);
  PushButton9 = MakeButton(this, "PushButton9", QStringLiteral("Add All CSV File(s) In Folder"));
  Place(PushButton9, 4080, 3250, 3840, 405);
  PushButton4 = MakeButton(this, "PushButton4", QStringLiteral("Clear List"));
  Place(PushButton4, 120, 3760, 3840, 405);
  PushButton5 = MakeButton(this, "PushButton5", QStringLiteral("Load Sample/Example Files"));
  Place(PushButton5, 4080, 3760, 3840, 405);

  Frame2 = MakeFrame(this, "Frame2", QStringLiteral("CSV Delimiter"));
  Place(Frame2, 120, 4230, 7800, 705);
  Option1 = MakeOption(Frame2, "Option1", QStringLiteral("Comma"));
  Place(Option1, 240, 300, 1140, 225);
  Option2 = MakeOption(Frame2, "Option2", QStringLiteral("Comma-space"));
  Place(Option2, 1485, 300, 1725, 225);
  Option3 = MakeOption(Frame2, "Option3", QStringLiteral("Semicolon"));
  Place(Option3, 3330, 300, 1455, 225);
  Option4 = MakeOption(Frame2, "Option4", QStringLiteral("Tab (hide)"));
  Place(Option4, 4860, 300, 1140, 225);
  Option4->setVisible(false);
  Option5 = MakeOption(Frame2, "Option5", QStringLiteral("Other"));
  Place(Option5, 5760, 300, 825, 225);
  Text2 = new QLineEdit(QStringLiteral("|"), Frame2);
  Text2->setObjectName(QStringLiteral("Text2"));
  Place(Text2, 6600, 255, 915, 330);
  Option1->setChecked(true);

  Frame5 = MakeFrame(this, "Frame5", QStringLiteral("Save Option"));
  Place(Frame5, 120, 5000, 7800, 1815);
  Option6 = MakeOption(Frame5, "Option6", QStringLiteral("Save results to this folder:"));
  Place(Option6, 240, 300, 3615, 255);
  Frame6 = MakeFrame(Frame5, "Frame6", QString());
  Place(Frame6, 480, 510, 6840, 810);
  Option7 = MakeOption(Frame5, "Option7", QStringLiteral("Save results in folder of original file"));
  Place(Option7, 240, 1410, 3615, 255);
  Text1 = new QLineEdit(Frame6);
  Text1->setObjectName(QStringLiteral("Text1"));
  Place(Text1, 240, 300, 5670, 345);
  PushButton1 = MakeButton(Frame6, "PushButton1", QStringLiteral("..."));
  Place(PushButton1, 6000, 300, 600, 345);
  Option6->setChecked(true);

  PushButton7 = MakeButton(this, "PushButton7", QStringLiteral("Start Converting"));
  Place(PushButton7, 120, 6930, 7800, 405);
  ProgressBar1 = new ProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->SetText(QStringLiteral("Progress Bar"));
  Place(ProgressBar1, 120, 7450, 7800, 405);

  // Keyboard order: list, the four list buttons, Start, Help, delimiters,
  // Text2, output options, Text1, "...".
  QWidget* order[] = {ListView1, PushButton8, PushButton9, PushButton4, PushButton5,
                      PushButton7, PushButton2, Option1,   Option2,     Option3,
                      Option5,     Text2,       Option7,   Option6,     Text1,
                      PushButton1};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  Option4->setFocusPolicy(Qt::NoFocus);
  ProgressBar1->setFocusPolicy(Qt::NoFocus);

  skin_ = std::make_unique<SkinFramework>();
}

void Form1::SetMousePointer(int value) {
  mouse_pointer_ = value;
  switch (value) {
    case kPointerHourglass:
      setCursor(Qt::WaitCursor);
      break;
    case kPointerCustom:
      if (mouse_icon_) {
        setCursor(*mouse_icon_);
      } else {
        unsetCursor();
      }
      break;
    default:
      unsetCursor();
      break;
  }
}

MsgAnswer Form1::MsgBox(const QString& text, MsgButtons buttons) {
  return seams_.message_boxes->Show(this, text, application_title_, buttons, MsgIcon::kNone);
}

void Form1::closeEvent(QCloseEvent* event) {
  // Closing ends the program at once, whatever is under way: every choice
  // was stored when it changed.
  event->accept();
  QCoreApplication::exit(0);
}

// ---- Start-up ----

void Form1::Form_Load() {}
void Form1::ApplySkin() {}
void Form1::SetApplicationTitle() { application_title_ = QString::fromLatin1(kProductTitle); }
void Form1::MaybeOpenVendorPage() {}
QString Form1::GetDesktopFolder() { return QString(); }

void Form1::Option1_Click() {}
void Form1::Option2_Click() {}
void Form1::Option3_Click() {}
void Form1::Option4_Click() {}
void Form1::Option5_Click() {}
void Form1::Text2_Change() {}
void Form1::Text2_LostFocus() {}
void Form1::Option6_Click() {}
void Form1::Option7_Click() {}
void Form1::Text1_Change() {}
void Form1::PushButton1_Click() {}
void Form1::PushButton2_Click() {}
void Form1::PushButtonHand_MouseMove() {}
void Form1::Form_MouseMove() {}
void Form1::Frame2_MouseMove() {}
void Form1::Frame5_MouseMove() {}
void Form1::Frame6_MouseMove() {}
void Form1::Text1_MouseMove() {}
void Form1::Text2_MouseMove() {}

void Form1::WireWindowEvents() {}

}  // namespace delvora
