#include <QFileDialog>

#include "platform/dialog_selection.h"
#include "platform/qt_seams.h"

namespace delvora {

namespace {
// The dialog flag that allows choosing several files at once.
constexpr int kAllowMultiSelect = 0x200;
}  // namespace

QString QtFileDialog::ShowOpen(QWidget* owner, const FileDialogRequest& request) {
  QFileDialog dialog(owner, request.title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode((request.flags & kAllowMultiSelect) != 0 ? QFileDialog::ExistingFiles
                                                              : QFileDialog::ExistingFile);
  dialog.setNameFilter(QtNameFilter(request.filter));
  if (!request.file_name.isEmpty()) dialog.selectFile(request.file_name);
  if (dialog.exec() != QDialog::Accepted) return QString();
  QStringList chosen;
  for (const QString& file : dialog.selectedFiles()) chosen << QDir::toNativeSeparators(file);
  return JoinDialogSelection(chosen);
}

}  // namespace delvora
