#pragma once

// Form1: the one working window. It owns the controls and names its handlers
// as the product's documentation does; each handler is short and hands the
// work to the object that owns the behaviour.

#include <QCursor>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "app/error_box.h"
#include "app/settings_store.h"
#include "platform/list_view.h"
#include "platform/seams.h"

class QGroupBox;
class QLineEdit;
class QMimeData;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace delvora {

class ProgressBar;
class SkinFramework;

// The outside world the window talks to. Tests pass fakes.
struct Seams {
  MessageBoxes* message_boxes = nullptr;
  FileDialog* file_dialog = nullptr;
  FolderPicker* folder_picker = nullptr;
  Shell* shell = nullptr;
  Clock* clock = nullptr;
  RandomSource* random = nullptr;
  Pump* pump = nullptr;
  SettingsStore* settings = nullptr;
  // The folder of the running executable, without a trailing separator
  // (unless it is a root). Resources and samples are looked up in it.
  QString program_folder;
};

// Pointer values of the window-wide pointer setting.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;
inline constexpr int kPointerCustom = 99;

// The caption of message boxes, from the product title: cut before the last
// space until it is at most 40 characters, at least once. A title without a
// space is used whole.
QString ApplicationTitleFor(const QString& product_title);

// Where a window's frame of this size goes on a screen's available area:
// centred, then moved so that it lies inside; a frame larger than the area
// keeps its top and left on it, so that its title bar can be reached.
QPoint FramePositionOn(const QRect& area, const QSize& frame);

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(const Seams& seams, QWidget* parent = nullptr);
  ~Form1() override;

  // ---- Controls (object names as the window's documentation names them) ----
  QPushButton* PushButton2 = nullptr;  // "Help"
  ListTreeView* ListView1 = nullptr;
  QPushButton* PushButton8 = nullptr;  // "Add CSV File(s)"
  QPushButton* PushButton9 = nullptr;  // "Add All CSV File(s) In Folder"
  QPushButton* PushButton4 = nullptr;  // "Clear List"
  QPushButton* PushButton5 = nullptr;  // "Load Sample/Example Files"
  QGroupBox* Frame2 = nullptr;         // "CSV Delimiter"
  QRadioButton* Option1 = nullptr;
  QRadioButton* Option2 = nullptr;
  QRadioButton* Option3 = nullptr;
  QRadioButton* Option4 = nullptr;
  QRadioButton* Option5 = nullptr;
  QLineEdit* Text2 = nullptr;
  QGroupBox* Frame5 = nullptr;  // "Save Option"
  QRadioButton* Option6 = nullptr;
  QRadioButton* Option7 = nullptr;
  QGroupBox* Frame6 = nullptr;
  QLineEdit* Text1 = nullptr;
  QPushButton* PushButton1 = nullptr;  // "..."
  QPushButton* PushButton7 = nullptr;  // "Start Converting"
  ProgressBar* ProgressBar1 = nullptr;

  // 1-based access to the file list.
  ListView& List() { return list_; }

  // ---- Window-wide pointer: 0 default, 11 hourglass (also the busy flag),
  // 99 the custom image (MouseIcon). ----
  int MousePointer() const { return mouse_pointer_; }
  void SetMousePointer(int value);
  bool HasMouseIcon() const { return mouse_icon_.has_value(); }

  const SkinFramework& Skin() const { return *skin_; }

  // Caption of every message box that names none of its own.
  const QString& ApplicationTitle() const { return application_title_; }
  // A box with the application title as caption and no icon.
  MsgAnswer MsgBox(const QString& text, MsgButtons buttons = MsgButtons::kOk);
  // A message naming a file: the name's line breaks are escaped too.
  MsgAnswer MsgBoxNaming(const QString& before, const QString& name, const QString& after);
  ErrorReporter& Errors() { return error_box_; }
  const Seams& seams() const { return seams_; }

  // ---- Start-up and window life ----
  void Form_Load();
  void ApplySkin();
  void SetApplicationTitle();
  void MaybeOpenVendorPage();
  QString GetDesktopFolder();

  // ---- Delimiter choice ----
  void Option1_Click();
  void Option2_Click();
  void Option3_Click();
  void Option4_Click();
  void Option5_Click();
  void Text2_Change();
  void Text2_LostFocus();

  // ---- Output location ----
  void Option6_Click();
  void Option7_Click();
  void Text1_Change();
  void PushButton1_Click();

  // ---- Help ----
  void PushButton2_Click();

  // ---- Pointer feedback ----
  void PushButtonHand_MouseMove();  // shared by every push button
  void Form_MouseMove();
  void Frame2_MouseMove();
  void Frame5_MouseMove();
  void Frame6_MouseMove();
  void Text1_MouseMove();
  void Text2_MouseMove();

  // ---- Conversion run ----
  bool IsConverting = false;
  void PushButton7_Click();
  void Pause(double seconds);

  // ---- Editing the list ----
  bool IsDragging = false;
  int DragItem = 0;  // position, 0 for none
  int OverItem = 0;
  void ListView1_DblClick();
  void ListView1_KeyDown(int key_code, int shift);
  void PushButton4_Click();
  void ListView1_MouseDown(int button, int shift, int x, int y);
  void ListView1_ItemClick(int position);
  void ListView1_MouseMove(int button, int shift, int x, int y);
  void ListView1_MouseUp(int button, int shift, int x, int y);
  // True once the window has been closed: a run under way stops at its next look.
  bool IsClosing() const { return closing_; }

  // ---- Filling the list ----
  void PushButton8_Click();
  void PushButton9_Click();
  void PushButton5_Click();
  void RecordSampleList();
  void LoadSampleFiles();
  // Returns the effect: 0 refuses the drop, otherwise the proposed effect.
  int ListView1_OLEDragOver(const QMimeData* data, int proposed_effect);
  void ListView1_OLEDragDrop(const QMimeData* data);

 protected:
  void closeEvent(class QCloseEvent* event) override;
  void showEvent(class QShowEvent* event) override;
  // Tab enters a group of options at its selected option and leaves the
  // group with the next press.
  bool focusNextPrevChild(bool next) override;

 private:
  void BuildLayout();
  // Each area connects the events of its own handlers.
  void WireWindowEvents();
  void WireListEvents();
  void WireAddEvents();

  Seams seams_;
  ListView list_{nullptr};
  ErrorBox error_box_;
  std::unique_ptr<SkinFramework> skin_;
  int mouse_pointer_ = kPointerDefault;
  std::optional<QCursor> mouse_icon_;
  QString application_title_;
  bool text2_check_running_ = false;
  // ---- Start-up, delimiter, output location, pointer ----
  QString ProgramFile(const QString& relative_path) const;
  void StoreDelimiterOptions();
  void StoreOutputOptions();
  void RestoreOption(StepRunner& steps, int step, QRadioButton* option, const QString& stored);
  void HookPointerMoves(QWidget* widget, void (Form1::*handler)());
  bool centred_ = false;
  // Centres the window's frame on the screen's available area, inside it.
  void PlaceOnScreen();
  // The user is told once per run that the settings store cannot be written.
  void TellIfChoicesCannotBeSaved();
  bool told_store_unwritable_ = false;
  // ---- Conversion run and editing the list ----
  bool closing_ = false;
};

// Runs a callback for events of one object; several areas can each install
// their own without sharing one eventFilter override.
class EventHook : public QObject {
 public:
  EventHook(QObject* target, std::function<bool(QObject*, class QEvent*)> handler);
  bool eventFilter(QObject* watched, class QEvent* event) override;

 private:
  std::function<bool(QObject*, class QEvent*)> handler_;
};

}  // namespace delvora
