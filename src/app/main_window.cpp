#include "app/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionFocusRect>
#include <QTreeView>
#include <algorithm>

#include "app/skin.h"
#include "help/help_notice.h"
#include "platform/cursor.h"
#include "platform/file_system.h"
#include "platform/product.h"
#include "platform/progress_bar.h"
#include "platform/qt_path_text.h"
#include "platform/twips.h"
#include "platform/utf8.h"
#include "platform/web_page_opener.h"

namespace delvora {

namespace {

int Px(int twips) { return TwipsToPixels(twips); }

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
  // Filled with the window's colour, as the skin step sets it, not with
  // the style's button face.
  option->setBackgroundRole(QPalette::Window);
  return option;
}

// Frames drawn as a plain line around the window's own background: some
// styles lay a grey panel inside a frame, which the window's white design
// does not have. A skin's style sheet still draws frames its own way.
class PlainFrameStyle : public QProxyStyle {
 public:
  // Over the application's style (a proxy would otherwise take the
  // desktop's, whatever the application chose).
  PlainFrameStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_FrameGroupBox) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    painter->save();
    painter->setPen(option->palette.color(QPalette::Mid));
    painter->setBrush(Qt::NoBrush);
    const auto* frame = qobject_cast<const QGroupBox*>(widget);
    // A caption stands above the line, as the style would place it. Counted
    // from the frame's own top: some styles already lower the rectangle they
    // give by half a caption, which would put the line through the options.
    const int top = frame != nullptr && !frame->title().isEmpty()
                        ? std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                   option->fontMetrics.height()) +
                              2
                        : 0;
    const QRect whole = frame != nullptr ? frame->rect() : option->rect;
    painter->drawRect(whole.adjusted(0, top, -1, -1));
    painter->restore();
  }
};

// Focus drawn so that it is seen: a dotted line in the text's colour round
// a focused button's or option's caption (some styles tint it faintly in the
// selection colour), and a line round the focused list, which most styles
// leave unmarked.
class FocusStyle : public QProxyStyle {
 public:
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_FrameFocusRect) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    painter->save();
    // In the colour of the caption it surrounds: a button's text on the
    // button, an option's on the window.
    const QPalette::ColorRole ink = qobject_cast<const QPushButton*>(widget) != nullptr
                                        ? QPalette::ButtonText
                                        : QPalette::WindowText;
    painter->setPen(QPen(option->palette.color(ink), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    QProxyStyle::drawControl(element, option, painter, widget);
    if (!(option->state & State_HasFocus)) return;
    if (element == CE_PushButton) {
      // Not every style asks for the focus rectangle of a button.
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(*option);
      focus.rect = subElementRect(SE_PushButtonFocusRect, option, widget);
      drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
      return;
    }
    if (element != CE_ShapedFrame) return;
    painter->save();
    // On the window's edge round the list: the window's text colour.
    painter->setPen(QPen(option->palette.color(QPalette::WindowText), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option->rect).adjusted(1, 1, -1, -1));
    painter->restore();
  }
};

// A screen reader announces the window as a window, not as a bare panel.
QAccessibleInterface* WindowAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("delvora::Form1") || !object->isWidgetType()) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& title, QStyle* style) {
  auto* frame = new QGroupBox(title, parent);
  frame->setObjectName(QLatin1String(name));
  frame->setAutoFillBackground(true);
  frame->setStyle(style);
  return frame;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QString& text) {
  auto* box = new QLineEdit(text, parent);
  box->setObjectName(QLatin1String(name));
  return box;
}

const QString kSeparator = QDir::separator();

// Selects or clears an option as a program would. Qt refuses to clear the
// checked button of an exclusive group; the window allows "none selected".
void SetOptionChecked(QRadioButton* option, bool checked) {
  if (checked || !option->isChecked()) {
    option->setChecked(checked);
    return;
  }
  option->setAutoExclusive(false);
  option->setChecked(false);
  option->setAutoExclusive(true);
}

}  // namespace

QString ApplicationTitleFor(const QString& product_title) {
  QString title = product_title;
  bool cut_once = false;
  while (!cut_once || title.size() > 40) {
    const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
    // Nothing left to cut at: keep what there is rather than an empty title.
    if (space <= 0) break;
    title.truncate(space);
    cut_once = true;
  }
  return title;
}

QPoint FramePositionOn(const QRect& area, const QSize& frame) {
  const int x = area.left() + (area.width() - frame.width()) / 2;
  const int y = area.top() + (area.height() - frame.height()) / 2;
  return QPoint(std::max(area.left(), std::min(x, area.right() + 1 - frame.width())),
                std::max(area.top(), std::min(y, area.bottom() + 1 - frame.height())));
}

EventHook::EventHook(QObject* target, std::function<bool(QObject*, QEvent*)> handler)
    : QObject(target), handler_(std::move(handler)) {
  target->installEventFilter(this);
}

bool EventHook::eventFilter(QObject* watched, QEvent* event) { return handler_(watched, event); }

Form1::Form1(const Seams& seams, QWidget* parent)
    : QWidget(parent), seams_(seams), error_box_(*seams.message_boxes, this) {
  static const bool accessible_installed = (QAccessible::installFactory(WindowAccessible), true);
  (void)accessible_installed;
  BuildLayout();
  list_.Attach(ListView1);
  WireWindowEvents();
  WireListEvents();
  WireAddEvents();
  // Told from the event loop, never from inside the change that failed: a
  // box there would take the focus from the control being edited.
  seams_.settings->OnFirstWriteFailure([this] {
    QMetaObject::invokeMethod(this, &Form1::TellIfChoicesCannotBeSaved, Qt::QueuedConnection);
  });
}

Form1::~Form1() { seams_.settings->OnFirstWriteFailure({}); }

void Form1::TellIfChoicesCannotBeSaved() {
  SettingsStore& settings = *seams_.settings;
  // Once the window is on screen: a failure during start-up waits for it.
  if (told_store_unwritable_ || !settings.WriteFailed() || !isVisible()) return;
  told_store_unwritable_ = true;
  seams_.message_boxes->Show(this,
                             QStringLiteral("Your choices cannot be saved:\r\r") +
                                 QDir::toNativeSeparators(settings.FileName()) +
                                 QStringLiteral("\r\r") + settings.WriteFailureReason(),
                             application_title_, MsgButtons::kOk, MsgIcon::kExclamation);
}

namespace {

// Options of one group share their frame.
QRadioButton* GroupOption(QWidget* widget) {
  auto* option = qobject_cast<QRadioButton*>(widget);
  return option != nullptr && option->autoExclusive() ? option : nullptr;
}

bool TakesTabFocus(QWidget* widget, const QWidget* window) {
  // Qt keeps Tab on the option of a group that last had the focus by taking
  // it from the others; the group's selected option is the stop here, so an
  // option counts when it takes the focus at all.
  const Qt::FocusPolicy needed = GroupOption(widget) != nullptr ? Qt::ClickFocus : Qt::TabFocus;
  return widget != nullptr && !widget->isWindow() && window->isAncestorOf(widget) &&
         (widget->focusPolicy() & needed) == needed && widget->isVisibleTo(window) &&
         widget->isEnabled() && widget->focusProxy() == nullptr;
}

}  // namespace

bool Form1::focusNextPrevChild(bool next) {
  QWidget* from = focusWidget();
  if (from == nullptr || !isAncestorOf(from)) return QWidget::focusNextPrevChild(next);
  const QRadioButton* from_option = GroupOption(from);
  QWidget* at = from;
  for (;;) {
    at = next ? at->nextInFocusChain() : at->previousInFocusChain();
    if (at == from) return true;  // nothing else takes the focus
    if (!TakesTabFocus(at, this)) continue;
    const QRadioButton* option = GroupOption(at);
    if (option == nullptr) break;
    // Leaving a group passes over the rest of it.
    if (from_option != nullptr && option->parentWidget() == from_option->parentWidget()) continue;
    // Entering a group lands on its selected option.
    for (QRadioButton* sibling :
         option->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
      if (sibling->isChecked() && sibling->autoExclusive() && TakesTabFocus(sibling, this)) {
        at = sibling;
        break;
      }
    }
    break;
  }
  at->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void Form1::BuildLayout() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
  setFont(ArialBold(9));
  // The window's own white comes with the colours that read on it: the
  // desktop's may be meant for a dark background. The highlight is dark
  // enough that a focused text box's border stands out from the others.
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  white.setColor(QPalette::Highlight, QColor(0x1F, 0x5F, 0x99));
  white.setColor(QPalette::HighlightedText, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
  setFixedSize(Px(8040), Px(7980));
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  auto* frame_style = new PlainFrameStyle;
  frame_style->setParent(this);
  auto* focus_style = new FocusStyle;
  focus_style->setParent(this);

  PushButton2 = MakeButton(this, "PushButton2", QStringLiteral("Help"));
  Place(PushButton2, 120, 120, 7800, 405);

  ListView1 = new ListTreeView(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setHeader(new ListHeader(ListView1));
  ListView1->setStyle(focus_style);
  // Long names run to the column's edge and are cut there, not shortened.
  ListView1->setTextElideMode(Qt::ElideNone);
  ListView1->setFont(ArialBold(9));
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setDragEnabled(false);
  ListView1->setAcceptDrops(true);
  ListView1->viewport()->setAcceptDrops(true);
  ListView1->setDragDropMode(QAbstractItemView::DropOnly);
  // The one column, and with it the header, is added at start-up.
  ListView1->setHeaderHidden(true);
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

  Frame2 = MakeFrame(this, "Frame2", QStringLiteral("CSV Delimiter"), frame_style);
  Place(Frame2, 120, 4230, 7800, 705);
  Option1 = MakeOption(Frame2, "Option1", QStringLiteral("Comma"));
  Place(Option1, 240, 300, 1140, 225);
  Option2 = MakeOption(Frame2, "Option2", QStringLiteral("Comma-space"));
  Place(Option2, 1485, 300, 1725, 225);
  Option3 = MakeOption(Frame2, "Option3", QStringLiteral("Semicolon"));
  Place(Option3, 3330, 300, 1455, 225);
  // It would cover the left of "Other"; its value still counts.
  Option4 = MakeOption(Frame2, "Option4", QStringLiteral("Tab (hide)"));
  Place(Option4, 4860, 300, 1140, 225);
  Option4->setVisible(false);
  Option5 = MakeOption(Frame2, "Option5", QStringLiteral("Other"));
  Place(Option5, 5760, 300, 825, 225);
  Text2 = MakeTextBox(Frame2, "Text2", QStringLiteral("|"));
  Place(Text2, 6600, 255, 915, 330);
  Option1->setChecked(true);

  Frame5 = MakeFrame(this, "Frame5", QStringLiteral("Save Option"), frame_style);
  Place(Frame5, 120, 5000, 7800, 1815);
  Option6 = MakeOption(Frame5, "Option6", QStringLiteral("Save results to this folder:"));
  Place(Option6, 240, 300, 3615, 255);
  Frame6 = MakeFrame(Frame5, "Frame6", QString(), frame_style);
  Place(Frame6, 480, 510, 6840, 810);
  Option7 =
      MakeOption(Frame5, "Option7", QStringLiteral("Save results in folder of original file"));
  Place(Option7, 240, 1410, 3615, 255);
  Text1 = MakeTextBox(Frame6, "Text1", QString());
  Place(Text1, 240, 300, 5670, 345);
  PushButton1 = MakeButton(Frame6, "PushButton1", QStringLiteral("..."));
  Place(PushButton1, 6000, 300, 600, 345);
  Option6->setChecked(true);

  PushButton7 = MakeButton(this, "PushButton7", QStringLiteral("Start Converting"));
  Place(PushButton7, 120, 6930, 7800, 405);
  ProgressBar1 = new ProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->SetIdleText(QStringLiteral("Progress Bar"));
  ProgressBar1->SetText(QStringLiteral("Progress Bar"));
  Place(ProgressBar1, 120, 7450, 7800, 405);

  // Keyboard order: list, the four list buttons, Start, Help, delimiters,
  // Text2, output options, Text1, "...". Frames and the bar take no focus;
  // the hidden option is passed over.
  QWidget* order[] = {ListView1,   PushButton8, PushButton9, PushButton4, PushButton5, PushButton7,
                      PushButton2, Option1,     Option2,     Option3,     Option5,     Text2,
                      Option4,     Option7,     Option6,     Text1,       PushButton1};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  Option4->setFocusPolicy(Qt::NoFocus);
  for (QWidget* control : order) {
    if (control != ListView1 && control != Text1 && control != Text2)
      control->setStyle(focus_style);
  }
  ProgressBar1->setFocusPolicy(Qt::NoFocus);

  // What a screen reader says for controls whose caption stands elsewhere
  // or nowhere; nothing of it is shown.
  Text1->setAccessibleName(QStringLiteral("Save results to this folder"));
  Text2->setAccessibleName(QStringLiteral("Other delimiter"));
  PushButton1->setAccessibleName(QStringLiteral("Browse for the output folder"));
  ListView1->setAccessibleName(QStringLiteral("CSV files to convert"));
  // What the tip says to pointer users, said to keyboard and reader users.
  ListView1->setAccessibleDescription(
      QStringLiteral("Drag and drop files here. Double-click an entry or press Delete to remove "
                     "it. Move | line to right and out of window to reveal full names."));
  ProgressBar1->setAccessibleName(QStringLiteral("Conversion progress"));

  skin_ = std::make_unique<SkinFramework>();
}

QString Form1::ProgramFile(const QString& relative_path) const {
  QString folder = seams_.program_folder;
  if (!folder.endsWith(kSeparator) && !folder.endsWith(QLatin1Char('/'))) folder += kSeparator;
  return folder + QDir::toNativeSeparators(relative_path);
}

// ---- Pointer ----

void Form1::SetMousePointer(int value) {
  mouse_pointer_ = value;
  // The text boxes carry their own I-beam; the hourglass and the hand must
  // show over them as over the rest of the window.
  switch (value) {
    case kPointerHourglass:
      setCursor(Qt::WaitCursor);
      Text1->setCursor(Qt::WaitCursor);
      Text2->setCursor(Qt::WaitCursor);
      break;
    case kPointerCustom:
      if (mouse_icon_) {
        setCursor(*mouse_icon_);
        Text1->setCursor(*mouse_icon_);
        Text2->setCursor(*mouse_icon_);
      } else {
        unsetCursor();
        Text1->setCursor(Qt::IBeamCursor);
        Text2->setCursor(Qt::IBeamCursor);
      }
      break;
    default:
      unsetCursor();
      Text1->setCursor(Qt::IBeamCursor);
      Text2->setCursor(Qt::IBeamCursor);
      break;
  }
}

void Form1::PushButtonHand_MouseMove() {
  if (MousePointer() != kPointerHourglass) SetMousePointer(kPointerCustom);
}

void Form1::Form_MouseMove() {
  if (MousePointer() != kPointerHourglass) SetMousePointer(kPointerDefault);
}
void Form1::Frame2_MouseMove() { Form_MouseMove(); }
void Form1::Frame5_MouseMove() { Form_MouseMove(); }
void Form1::Frame6_MouseMove() { Form_MouseMove(); }
void Form1::Text1_MouseMove() { Form_MouseMove(); }
void Form1::Text2_MouseMove() { Form_MouseMove(); }

MsgAnswer Form1::MsgBox(const QString& text, MsgButtons buttons) {
  // Messages carry file names: none may disguise itself.
  const QString shown = QString::fromStdString(Shown(PathBytes(text), true));
  return seams_.message_boxes->Show(this, shown, application_title_, buttons, MsgIcon::kNone);
}

MsgAnswer Form1::MsgBoxNaming(const QString& before, const QString& name, const QString& after) {
  // A name's line breaks are not the message's: they are shown escaped.
  const QString shown = QString::fromStdString(
      Shown(PathBytes(before), true) + Shown(PathBytes(name)) + Shown(PathBytes(after), true));
  return seams_.message_boxes->Show(this, shown, application_title_, MsgButtons::kOk,
                                    MsgIcon::kNone);
}

void Form1::closeEvent(QCloseEvent* event) {
  // Closing ends the program at once, whatever is under way: every choice
  // was stored when it changed.
  event->accept();
  QCoreApplication::exit(0);
}

void Form1::PlaceOnScreen() {
  QScreen* where = screen();
  if (where == nullptr) return;
  QSize frame = frameGeometry().size();
  QPoint client_offset;
  if (frame == size()) {
    // Not framed yet: the title bar is taken at the style's height, and a
    // move places the window's inside, below where the frame will start.
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    frame.rheight() += title;
    client_offset = QPoint(0, title);
  }
  const QPoint at = FramePositionOn(where->availableGeometry(), frame) + client_offset;
  if (at != pos()) move(at);
}

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  QMetaObject::invokeMethod(this, &Form1::TellIfChoicesCannotBeSaved, Qt::QueuedConnection);
  if (centred_) return;
  centred_ = true;
  PlaceOnScreen();
}

// ---- Start-up ----

void Form1::Form_Load() {
  StepRunner steps(Errors(), FormLocation("Form_Load"));
  SettingsStore& settings = *seams_.settings;
  // Everything the start-up stores is on disk before the window is shown.
  const SettingsStore::Batch batch(settings);

  steps.Do(100, [&] { ApplySkin(); });
  steps.Do(102, [&] { setWindowTitle(QString::fromLatin1(kProductTitle)); });
  steps.Do(102, [&] { setWindowIcon(QIcon(QStringLiteral(":/delvora/delvora.ico"))); });
  steps.Do(102, [&] { SetApplicationTitle(); });

  const QString hand = ProgramFile(QStringLiteral("HAND-M.CUR"));
  if (steps.If(104, [&] { return PathExists(hand.toStdString()); })) {
    steps.Do(106, [&] {
      mouse_icon_.reset();
      mouse_icon_ = LoadCursorFile(hand, devicePixelRatioF());
    });
  }
  steps.Do(108, [&] { MaybeOpenVendorPage(); });
  if (steps.If(110,
               [&] { return settings.GetSetting(QStringLiteral("Snapshot"), {}).isEmpty(); })) {
    steps.Do(110, [&] { RecordSampleList(); });
  }

  steps.Do(132, [&] { list_.AddColumn(QStringLiteral("CSV File(s)")); });
  steps.Do(134, [&] { list_.SetColumnWidthTwips(1, 7000); });
  steps.Do(136, [&] {
    // The default is worked out first: without a desktop folder the stored
    // text is not read either.
    const QString desktop = GetDesktopFolder();
    Text1->setText(settings.GetSetting(QStringLiteral("Text1"), desktop));
  });
  steps.Do(138, [&] {
    Text2->setText(settings.GetSetting(QStringLiteral("Other"), QStringLiteral("|")));
  });
  // Every click stores its whole group, so the stored values are taken
  // before the first one is restored: of several options a hand-edited store
  // marks true, the last one restored stays selected.
  const auto stored = [&](const char* key, const char* default_value) {
    return settings.GetSetting(QLatin1String(key), QLatin1String(default_value));
  };
  const QString option_values[] = {stored("Option1", "1"), stored("Option2", "0"),
                                   stored("Option3", "0"), stored("Option4", "0"),
                                   stored("Option5", "0"), stored("Option6", "1"),
                                   stored("Option7", "0")};
  QRadioButton* const options[] = {Option1, Option2, Option3, Option4, Option5, Option6, Option7};
  for (int i = 0; i < 7; ++i) RestoreOption(steps, 140 + 2 * i, options[i], option_values[i]);
  if (steps.If(154, [&] { return Option6->isChecked(); })) {
    steps.Do(156, [&] { Frame6->setEnabled(true); });
  } else {
    steps.Do(158, [&] { Frame6->setEnabled(false); });
  }
}

void Form1::RestoreOption(StepRunner& steps, int step, QRadioButton* option,
                          const QString& stored) {
  steps.Do(step, [&] {
    const bool selected = BooleanFromText(stored);
    if (selected && option->isChecked()) {
      // Selecting an option by program runs its click handler even when it
      // is selected already, so the start-up stores the group again.
      if (option == Option6 || option == Option7) {
        StoreOutputOptions();
      } else {
        StoreDelimiterOptions();
      }
      return;
    }
    SetOptionChecked(option, selected);
  });
}

void Form1::ApplySkin() {
  const QString skin_file = ProgramFile(QStringLiteral("x/o.cjs"));
  const QFileInfo info(skin_file);
  // As a plain directory listing sees it: no folders, nothing hidden.
  if (!info.isFile() || info.isHidden()) return;

  // The button face with the text that goes on it.
  const QColor button_face = QApplication::palette().color(QPalette::Button);
  const QColor button_text = QApplication::palette().color(QPalette::ButtonText);
  QPalette own = palette();
  own.setColor(QPalette::Window, button_face);
  own.setColor(QPalette::WindowText, button_text);
  setPalette(own);
  for (QWidget* child : findChildren<QWidget*>()) {
    if (qobject_cast<QRadioButton*>(child) || qobject_cast<QGroupBox*>(child) ||
        child->inherits("QCheckBox") || child->inherits("QLabel")) {
      QPalette child_palette = child->palette();
      child_palette.setColor(QPalette::Window, button_face);
      child_palette.setColor(QPalette::WindowText, button_text);
      child->setPalette(child_palette);
    }
  }

  skin_->LoadSkin(skin_file, QString());
  skin_->SetOptions(skin_->Options() | SkinFramework::kOptionSkinDialogs);
  skin_->SetApplyColours(true);
  skin_->SetApplyStyle(true);
  skin_->ApplyWindow(this);
}

void Form1::SetApplicationTitle() {
  application_title_ = ApplicationTitleFor(QString::fromLatin1(kProductTitle));
}

void Form1::MaybeOpenVendorPage() {
  seams_.random->Seed(seams_.clock->SecondsSinceMidnight());
  const int drawn = std::clamp(static_cast<int>(seams_.random->NextFraction() * 100.0) + 1, 1, 100);
  if (drawn != 7) return;
  seams_.shell->Launch(WebPageOpener(), {QString::fromLatin1(kVendorHomePage)});
}

QString Form1::GetDesktopFolder() {
  QString folder = seams_.shell->DesktopFolder();
  if (folder.isEmpty()) throw StandardError(kErrInvalidArgument);
  if (!folder.endsWith(kSeparator)) folder += kSeparator;
  return folder;
}

// ---- Delimiter choice ----

void Form1::StoreDelimiterOptions() {
  SettingsStore& settings = *seams_.settings;
  settings.SaveSetting(QStringLiteral("Option1"), BooleanText(Option1->isChecked()));
  settings.SaveSetting(QStringLiteral("Option2"), BooleanText(Option2->isChecked()));
  settings.SaveSetting(QStringLiteral("Option3"), BooleanText(Option3->isChecked()));
  settings.SaveSetting(QStringLiteral("Option4"), BooleanText(Option4->isChecked()));
  settings.SaveSetting(QStringLiteral("Option5"), BooleanText(Option5->isChecked()));
}

void Form1::Option1_Click() { StoreDelimiterOptions(); }
void Form1::Option2_Click() { StoreDelimiterOptions(); }
void Form1::Option3_Click() { StoreDelimiterOptions(); }
void Form1::Option4_Click() { StoreDelimiterOptions(); }
void Form1::Option5_Click() { StoreDelimiterOptions(); }

void Form1::Text2_Change() { seams_.settings->SaveSetting(QStringLiteral("Other"), Text2->text()); }

void Form1::Text2_LostFocus() {
  // One check at a time: the box itself moves the focus around.
  if (text2_check_running_ || !Text2->text().isEmpty()) return;
  text2_check_running_ = true;
  MsgBox(QStringLiteral("You forgot to input a value."));
  Text2->setFocus(Qt::OtherFocusReason);
  text2_check_running_ = false;
}

// ---- Output location ----

void Form1::StoreOutputOptions() {
  seams_.settings->SaveSetting(QStringLiteral("Option6"), BooleanText(Option6->isChecked()));
  seams_.settings->SaveSetting(QStringLiteral("Option7"), BooleanText(Option7->isChecked()));
  Frame6->setEnabled(Option6->isChecked());
}

void Form1::Option6_Click() { StoreOutputOptions(); }
void Form1::Option7_Click() { StoreOutputOptions(); }

void Form1::Text1_Change() { seams_.settings->SaveSetting(QStringLiteral("Text1"), Text1->text()); }

void Form1::PushButton1_Click() {
  StepRunner steps(Errors(), FormLocation("PushButton1_Click"));
  QString chosen;
  steps.Do(100, [&] {
    const QString last = seams_.settings->GetSetting(QStringLiteral("LastFolderDot"), QString());
    chosen =
        seams_.folder_picker->BrowseForFolder(this, QStringLiteral("Please select folder:"), last);
  });
  if (chosen.isEmpty()) return;  // 102: cancelled, nothing changes
  steps.Do(104, [&] { seams_.settings->SaveSetting(QStringLiteral("LastFolderDot"), chosen); });
  // 106: a root keeps its one separator.
  if (!chosen.endsWith(kSeparator)) {
    steps.Do(108, [&] { Text1->setText(chosen + kSeparator); });
  } else {
    steps.Do(110, [&] { Text1->setText(chosen); });
  }
}

// ---- Help ----

void Form1::PushButton2_Click() {
  // The notice has no numbered statements; its failure report says line 0.
  StepRunner steps(Errors(), FormLocation("PushButton2_Click"));
  steps.Do(0, [&] { MsgBox(HelpNoticeText()); });
}

// ---- Events ----

void Form1::HookPointerMoves(QWidget* widget, void (Form1::*handler)()) {
  widget->setMouseTracking(true);
  new EventHook(widget, [this, widget, handler](QObject* watched, QEvent* event) {
    if (watched != widget || event->type() != QEvent::MouseMove) return false;
    if (!widget->isEnabled()) {
      // A disabled control has no pointer events of its own: its nearest
      // enabled container gets the move (no hand over a button that cannot
      // be pressed). Qt's disabled buttons would swallow it, so pass it on.
      QWidget* container = widget->parentWidget();
      while (container != nullptr && !container->isEnabled()) container = container->parentWidget();
      if (container == nullptr) return false;
      const auto* move = static_cast<QMouseEvent*>(event);
      QMouseEvent passed(QEvent::MouseMove, container->mapFromGlobal(move->globalPosition()),
                         move->globalPosition(), Qt::NoButton, move->buttons(), move->modifiers());
      QCoreApplication::sendEvent(container, &passed);
      return true;
    }
    (this->*handler)();
    // A move without a button would travel on to the container, whose own
    // handler would undo this one; the control itself has no use for it.
    return widget != this && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton;
  });
}

void Form1::WireWindowEvents() {
  const std::pair<QRadioButton*, void (Form1::*)()> options[] = {
      {Option1, &Form1::Option1_Click}, {Option2, &Form1::Option2_Click},
      {Option3, &Form1::Option3_Click}, {Option4, &Form1::Option4_Click},
      {Option5, &Form1::Option5_Click}, {Option6, &Form1::Option6_Click},
      {Option7, &Form1::Option7_Click}};
  for (const auto& [option, handler] : options) {
    connect(option, &QRadioButton::toggled, this, [this, handler = handler](bool selected) {
      if (selected) (this->*handler)();
    });
  }
  connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
  connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
  new EventHook(Text2, [this](QObject* watched, QEvent* event) {
    if (watched != Text2 || event->type() != QEvent::FocusOut) return false;
    // Switching to another program or opening a box is no leaving of the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
    // After the focus has settled on the new control, so that giving it back
    // is not undone by the change still under way.
    QMetaObject::invokeMethod(this, &Form1::Text2_LostFocus, Qt::QueuedConnection);
    return false;
  });
  connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
  connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });

  for (QPushButton* button : {PushButton1, PushButton2, PushButton4, PushButton5, PushButton7,
                              PushButton8, PushButton9}) {
    HookPointerMoves(button, &Form1::PushButtonHand_MouseMove);
    // Enter presses the focused button, as Space does.
    new EventHook(button, [button](QObject* watched, QEvent* event) {
      if (watched != button || event->type() != QEvent::KeyPress) return false;
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
      if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
      if (!key->isAutoRepeat() && button->isEnabled()) button->click();
      return true;
    });
  }
  HookPointerMoves(this, &Form1::Form_MouseMove);
  // Controls without a handler leave the pointer as it is; their moves must
  // not reach the frame or window behind them.
  for (QWidget* quiet : std::initializer_list<QWidget*>{Option1, Option2, Option3, Option4, Option5,
                                                        Option6, Option7, ProgressBar1}) {
    quiet->setAttribute(Qt::WA_NoMousePropagation);
  }
  HookPointerMoves(Frame2, &Form1::Frame2_MouseMove);
  HookPointerMoves(Frame5, &Form1::Frame5_MouseMove);
  HookPointerMoves(Frame6, &Form1::Frame6_MouseMove);
  HookPointerMoves(Text1, &Form1::Text1_MouseMove);
  HookPointerMoves(Text2, &Form1::Text2_MouseMove);
}

}  // namespace delvora
