#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include "platform/dialog_selection.h"
#include "platform/qt_path_text.h"
#include "platform/qt_seams.h"

namespace delvora {

namespace {
// The dialog flag that allows choosing several files at once.
constexpr int kAllowMultiSelect = 0x200;

// Qt's own dialog refuses typed names that do not exist and drops those the
// filter does not show; the list takes every typed name as written and
// reports the ones it cannot read itself. Not native, so that both systems
// behave alike.
class TypedNamesDialog : public QFileDialog {
 public:
  TypedNamesDialog(QWidget* owner, const QString& title) : QFileDialog(owner, title) {
    setOption(QFileDialog::DontUseNativeDialog);
  }

  // The chosen files, full paths with native separators.
  const QStringList& chosen() const { return chosen_; }

  void accept() override {
    auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QStringList names = edit == nullptr ? QStringList() : TypedNames(edit->text());
    if (names.isEmpty()) return;
    const QDir folder = directory();
    // A folder typed alone is a move into it, with the box emptied for the
    // names to come.
    if (names.size() == 1 && names.front() == QStringLiteral("..")) {
      QFileDialog::accept();
      return;
    }
    if (names.size() == 1 && QFileInfo(folder, names.front()).isDir()) {
      setDirectory(folder.absoluteFilePath(names.front()));
      edit->clear();
      return;
    }
    chosen_.clear();
    for (const QString& name : names) {
      // The dialog shows a name that is not UTF-8 with replacement
      // characters: the file's own bytes are looked up again.
      chosen_ << QDir::toNativeSeparators(PathTextOnDisk(folder.absoluteFilePath(name)));
    }
    QDialog::accept();
  }

 private:
  // The names in the file-name box, split as Qt's dialog splits them: one
  // name, or each name between a pair of double quotes.
  static QStringList TypedNames(const QString& text) {
    if (!text.contains(u'"')) return text.isEmpty() ? QStringList() : QStringList{text};
    QStringList names;
    const QStringList tokens = text.split(u'"');
    for (qsizetype i = 1; i < tokens.size(); i += 2) {
      if (!tokens[i].isEmpty()) names << tokens[i];
    }
    return names;
  }

  QStringList chosen_;
};

}  // namespace

QString QtFileDialog::ShowOpen(QWidget* owner, const FileDialogRequest& request) {
  TypedNamesDialog dialog(owner, request.title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Any name may be typed (Qt greys "Open" for a missing one in its other
  // modes); the views still let several files be chosen.
  dialog.setFileMode(QFileDialog::AnyFile);
  if ((request.flags & kAllowMultiSelect) != 0) {
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
      view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
  }
  dialog.setNameFilter(QtNameFilter(request.filter));
  if (!request.file_name.isEmpty()) dialog.selectFile(request.file_name);
  if (dialog.exec() != QDialog::Accepted) return QString();
  return JoinDialogSelection(dialog.chosen());
}

}  // namespace delvora
