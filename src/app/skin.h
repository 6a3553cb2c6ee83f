#pragma once

// Our own skin component. A skin file ("x/o.cjs" beside the executable) is a
// UTF-8 text file:
//
//   Delvora skin 1               first line, exactly
//   ; a comment                  blank lines and ';' lines are skipped
//   @name Clean                  optional; the name LoadSkin may ask for
//   @palette Window #F3F5F8      a palette role and a colour
//   @style                       everything after this line is a Qt style sheet
//
// The window drives it in a fixed order: LoadSkin, Options/SetOptions,
// SetApplyColours, SetApplyStyle, ApplyWindow.

#include <QPalette>
#include <QString>
#include <utility>
#include <vector>

class QWidget;

namespace delvora {

struct SkinDefinition {
  QString name;
  std::vector<std::pair<QPalette::ColorRole, QColor>> colours;
  QString style_sheet;
};

// Throws AppError 321 "Invalid file format" naming what is wrong.
SkinDefinition ParseSkin(const QByteArray& bytes);

class SkinFramework {
 public:
  // Option bit: dialogs and message boxes opened over the window follow the
  // skin as well; without it only the window's own controls do.
  static constexpr int kOptionSkinDialogs = 1;

  // Loads and checks the skin; `skin_name` "" takes the file's skin, any
  // other name must be the file's @name. Throws AppError (53 missing, 75
  // unreadable, 321 malformed); a failed load keeps the previous skin.
  void LoadSkin(const QString& path, const QString& skin_name);
  int Options() const { return options_; }
  void SetOptions(int options) { options_ = options; }
  // Take the skin's palette colours.
  void SetApplyColours(bool value) { apply_colours_ = value; }
  // Take the skin's style sheet.
  void SetApplyStyle(bool value) { apply_style_ = value; }
  void ApplyWindow(QWidget* window);

  bool IsLoaded() const { return loaded_; }
  const SkinDefinition& definition() const { return skin_; }

 private:
  SkinDefinition skin_;
  bool loaded_ = false;
  int options_ = 0;
  bool apply_colours_ = false;
  bool apply_style_ = false;
};

}  // namespace delvora
