#include "platform/qt_seams.h"

namespace delvora {

QString QtFileDialog::ShowOpen(QWidget* /*owner*/, const FileDialogRequest& /*request*/) {
  return QString();
}

}  // namespace delvora
