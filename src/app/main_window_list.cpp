// Form1's conversion run ("Start Converting") and the editing of the file
// list: removing, clearing and reordering entries by dragging.

#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QTreeView>
#include <iterator>

#include "app/main_window.h"
#include "conversion/conversion_run.h"
#include "conversion/paths.h"
#include "filelist/list_editing.h"
#include "platform/cursor.h"
#include "platform/progress_bar.h"
#include "platform/qt_path_text.h"

namespace delvora {

namespace {

// The Delete key's code as the list's key handler receives it.
constexpr int kKeyDelete = 46;

int KeyCode(int qt_key) {
  if (qt_key == Qt::Key_Delete) return kKeyDelete;
  // Letters and digits keep their ASCII codes; the list acts on none of them.
  if ((qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) ||
      (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9)) {
    return qt_key;
  }
  return 0;
}

// The shift mask (1 Shift, 2 Ctrl, 4 Alt) and button mask (1 left, 2 right,
// 4 middle) as the list's handlers receive them.
int ShiftState(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
         (m & Qt::AltModifier ? 4 : 0);
}

int ButtonState(Qt::MouseButtons b) {
  return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
         (b & Qt::MiddleButton ? 4 : 0);
}

// The list's pointer while an entry is dragged: "drag.ico" from the program
// folder, or the standard pointer when that file is missing or unreadable.
QCursor DragCursor(const QString& program_folder) {
  try {
    return LoadCursorFile(QDir(program_folder).filePath(QStringLiteral("drag.ico")));
  } catch (const AppError&) {
    return QCursor(Qt::ArrowCursor);
  }
}

// Removes the selected entry unless a long operation is under way or there is
// nothing to remove.
void RemoveSelectedEntry(Form1& form) {
  if (form.MousePointer() == kPointerHourglass) return;
  ListView& list = form.List();
  if (list.Count() == 0) return;
  const int selected = list.SelectedItem();
  if (selected == 0) return;
  list.Remove(selected);
}

// The run's failures name the file they happened to, as the progress bar
// names it, so that the box says which entry failed.
class NamingReporter : public ErrorReporter {
 public:
  explicit NamingReporter(ErrorReporter& reporter) : reporter_(reporter) {}
  void SetFile(const std::string& name) { file_ = name; }
  void ReportError(const AppError& error, std::string_view location, int step) override {
    if (file_.empty()) {
      reporter_.ReportError(error, location, step);
      return;
    }
    reporter_.ReportError(WithDetail(error, file_), location, step);
  }

 private:
  ErrorReporter& reporter_;
  std::string file_;
};

// The real window as the run sees it.
class FormRunWindow : public RunWindow {
 public:
  explicit FormRunWindow(Form1& form) : form_(form), errors_(form.Errors()) {}

  bool IsConverting() override { return form_.IsConverting; }
  void SetConverting(bool converting) override { form_.IsConverting = converting; }
  int EntryCount() override { return form_.List().Count(); }
  std::string EntryText(int position) override {
    if (position < 1 || position > form_.List().Count()) {
      throw StandardError(kErrIndexOutOfBounds);
    }
    std::string path = PathBytes(form_.List().Text(position));
    // The name as the file system has it: the error box escapes it once.
    // Only the entry's own first reading names it; the entries read after
    // it (to look for results that would collide) are not the one failing.
    if (!entry_named_) errors_.SetFile(GetFileName(path, kNativeSeparator));
    entry_named_ = true;
    return path;
  }
  bool DelimiterOptionSelected(int option) override {
    QRadioButton* const options[] = {form_.Option1, form_.Option2, form_.Option3, form_.Option4,
                                     form_.Option5};
    if (option < 1 || option > static_cast<int>(std::size(options))) {
      throw StandardError(kErrIndexOutOfBounds);
    }
    return options[option - 1]->isChecked();
  }
  std::string OtherDelimiterText() override { return form_.Text2->text().toStdString(); }
  bool SaveToFolderSelected() override { return form_.Option6->isChecked(); }
  bool SaveBesideInputSelected() override { return form_.Option7->isChecked(); }
  std::string OutputFolderText() override { return PathBytes(form_.Text1->text()); }
  void ShowHourglass() override {
    // Each entry starts here: until its name is shown, no failure is its.
    errors_.SetFile(std::string());
    entry_named_ = false;
    form_.SetMousePointer(kPointerHourglass);
  }
  void ShowDefaultPointer() override { form_.SetMousePointer(kPointerDefault); }
  void SetProgressValue(int percent) override { form_.ProgressBar1->setValue(percent); }
  void SetProgressText(const std::string& text) override {
    form_.ProgressBar1->SetText(PathText(text));
  }
  void ShowMessage(const std::string& text) override { form_.MsgBox(PathText(text)); }
  ErrorReporter& Errors() override { return errors_; }
  void ProcessPendingMessages() override { form_.seams().pump->ProcessPendingMessages(); }
  void Pause(double seconds) override { form_.Pause(seconds); }
  bool Closing() override { return form_.IsClosing(); }

 private:
  Form1& form_;
  NamingReporter errors_;
  bool entry_named_ = false;  // the current entry's failures carry its name
};

}  // namespace

// ---- Conversion run ----

void Form1::PushButton7_Click() {
  FormRunWindow window(*this);
  ConversionRun run(window);
  run.Start();
}

void Form1::Pause(double seconds) {
  // The clock waits in an event loop, so the window keeps processing its
  // messages and no core spins.
  Clock& clock = *seams_.clock;
  const double start = clock.SecondsSinceMidnight();
  double elapsed = 0;
  while (elapsed < seconds && !closing_) {
    clock.WaitUpTo(seconds - elapsed);
    const double now = clock.SecondsSinceMidnight();
    // Past midnight the time of day starts again from zero: stop there
    // rather than wait most of a day.
    if (now < start) break;
    elapsed = now - start;
  }
}

// ---- Editing the list ----

void Form1::ListView1_DblClick() { RemoveSelectedEntry(*this); }

void Form1::ListView1_KeyDown(int key_code, int /*shift*/) {
  if (key_code == kKeyDelete) RemoveSelectedEntry(*this);
}

void Form1::PushButton4_Click() {
  StepRunner steps(Errors(), FormLocation("PushButton4_Click"));
  if (steps.If(100, [&] { return MousePointer() != kPointerHourglass; })) {
    steps.Do(100, [&] { list_.Clear(); });
  }
}

void Form1::ListView1_MouseDown(int /*button*/, int /*shift*/, int x, int y) {
  IsDragging = true;
  // A press beside the entries picks none up; without this the entry of an
  // earlier drag would follow the pointer again.
  if (list_.HitTest(QPoint(x, y)) == 0) DragItem = 0;
}

void Form1::ListView1_ItemClick(int position) {
  ListView1->viewport()->setCursor(DragCursor(seams_.program_folder));
  // The press has already selected the clicked entry.
  const int selected = list_.SelectedItem();
  DragItem = selected != 0 ? selected : position;
}

void Form1::ListView1_MouseMove(int /*button*/, int /*shift*/, int x, int y) {
  // Ends the hand pointer of the buttons, but never hides the busy pointer.
  if (MousePointer() != kPointerHourglass) SetMousePointer(kPointerDefault);
  if (!IsDragging) return;
  OverItem = list_.HitTest(QPoint(x, y));
  const int count = list_.Count();
  if (OverItem != 0 && DragItem >= 1 && DragItem <= count) {
    const QString dragged = list_.Text(DragItem);
    const QString over = list_.Text(OverItem);
    // Equal texts are never exchanged, so a path cannot trade places with a
    // copy of itself.
    if (dragged != over) {
      list_.SetText(DragItem, over);
      list_.SetText(OverItem, dragged);
      list_.Select(OverItem);
      DragItem = OverItem;
      const int row_height = list_.EntryRect(OverItem).height();
      const int target =
          AutoScrollTarget(y, ListView1->viewport()->height(), row_height, OverItem, count);
      if (target != 0) list_.EnsureVisible(target);
    }
  }
  OverItem = 0;
}

void Form1::ListView1_MouseUp(int /*button*/, int /*shift*/, int /*x*/, int /*y*/) {
  IsDragging = false;
  // Back to the arrow; unset rather than fixed, so the window's hourglass
  // still shows over the list while a long operation runs.
  ListView1->viewport()->unsetCursor();
}

void Form1::WireListEvents() {
  connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
  connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);

  // The item click comes with the press, before the moves of the same drag.
  connect(ListView1, &QAbstractItemView::pressed, this,
          [this](const QModelIndex& index) { ListView1_ItemClick(index.row() + 1); });

  QWidget* viewport = ListView1->viewport();
  viewport->setMouseTracking(true);
  new EventHook(viewport, [this](QObject*, QEvent* event) {
    // Hands a mouse event to a list handler in its terms: the button that
    // changed (or, for a move, the buttons held), the shift mask and x, y.
    const auto deliver = [this, event](void (Form1::*handler)(int, int, int, int)) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = mouse->position().toPoint();
      const Qt::MouseButtons buttons =
          event->type() == QEvent::MouseMove ? mouse->buttons() : mouse->button();
      (this->*handler)(ButtonState(buttons), ShiftState(mouse->modifiers()), at.x(), at.y());
      return buttons;
    };
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        deliver(&Form1::ListView1_MouseDown);
        // A press on the blank space below the entries keeps the selection:
        // the double-click it may start removes the selected entry.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (ListView1->indexAt(at).isValid()) return false;
        ListView1->setFocus(Qt::MouseFocusReason);
        return true;
      }
      case QEvent::ToolTip:
        // The list's own tip, over an entry as over the blank space.
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ListView1->toolTip(),
                           ListView1->viewport());
        return true;
      case QEvent::MouseMove:
        // With a button held the entries move only by the exchanges of the
        // handler; the view's own drag-selection would move the selection.
        return deliver(&Form1::ListView1_MouseMove) != Qt::NoButton;
      case QEvent::MouseButtonRelease:
        deliver(&Form1::ListView1_MouseUp);
        return false;
      case QEvent::MouseButtonDblClick:
        // Anywhere on the list, empty space below the entries included.
        ListView1_DblClick();
        return true;
      default:
        return false;
    }
  });
  new EventHook(ListView1, [this](QObject*, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
      // Arriving by keyboard picks an entry, so Delete works at once.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
          list_.SelectedItem() == 0 && list_.Count() > 0) {
        const QModelIndex current = ListView1->currentIndex();
        list_.Select(current.isValid() ? current.row() + 1 : 1);
      }
    }
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      ListView1_KeyDown(KeyCode(key->key()), ShiftState(key->modifiers()));
    }
    return false;
  });
  // Closing ends the program at once; a run under way must not go on with
  // the next file behind a closed window.
  new EventHook(this, [this](QObject*, QEvent* event) {
    if (event->type() == QEvent::Close) closing_ = true;
    return false;
  });
}

}  // namespace delvora
