#pragma once

// Our own skin component: loads a skin file and applies it to a window.

#include <QString>

class QWidget;

namespace delvora {

class SkinFramework {
 public:
  void LoadSkin(const QString& path, const QString& ini_name);
  int Options() const { return options_; }
  void SetOptions(int options) { options_ = options; }
  void SetApplyOptions(bool value) { apply_options_ = value; }
  void SetApplyFrameSkins(bool value) { apply_frame_skins_ = value; }
  void ApplyWindow(QWidget* window);

 private:
  QString style_sheet_;
  int options_ = 0;
  bool apply_options_ = false;
  bool apply_frame_skins_ = false;
};

}  // namespace delvora
