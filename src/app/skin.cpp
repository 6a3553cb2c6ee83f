#include "app/skin.h"

#include <QFile>
#include <QWidget>

#include "platform/app_error.h"

namespace delvora {

void SkinFramework::LoadSkin(const QString& path, const QString& /*ini_name*/) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw AppError(kErrFileNotFound, "File not found");
  style_sheet_ = QString::fromUtf8(file.readAll());
}

void SkinFramework::ApplyWindow(QWidget* window) { window->setStyleSheet(style_sheet_); }

}  // namespace delvora
