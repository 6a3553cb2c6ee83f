#include "platform/qt_seams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "platform/qt_path_text.h"

namespace delvora {

MsgAnswer QtMessageBoxes::Show(QWidget* owner, const QString& text, const QString& caption,
                               MsgButtons buttons, MsgIcon icon) {
  // Messages carry paths and typed text: never let Qt read them as markup.
  // The program's line breaks are CR LF and CR; the label breaks at LF.
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  // A box over a window not yet on screen would open where that window
  // waits, in a corner: before then it is centred on the screen.
  QWidget* parent = owner != nullptr && owner->window()->isVisible() ? owner : nullptr;
  QMessageBox box(
      icon == MsgIcon::kExclamation ? QMessageBox::Warning : QMessageBox::NoIcon, caption, shown,
      buttons == MsgButtons::kYesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
      parent);
  box.setTextFormat(Qt::PlainText);
  // A short text ("Done.") would leave the box too narrow for its caption;
  // the title bar also holds the icon and its buttons.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int title_bar = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    const int wanted =
        QFontMetrics(QApplication::font()).horizontalAdvance(caption) + 5 * title_bar;
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  const int answer = box.exec();
  if (buttons == MsgButtons::kYesNo) {
    return answer == QMessageBox::Yes ? MsgAnswer::kYes : MsgAnswer::kNo;
  }
  return MsgAnswer::kOk;
}

QString PickedFolderPath(const QString& chosen) {
  if (chosen.isEmpty()) return QString();
  QString native = QDir::toNativeSeparators(chosen);
  // A root keeps its separator; any other folder comes without one.
  while (native.size() > 1 && native.endsWith(QDir::separator()) && !QDir(native).isRoot()) {
    native.chop(1);
  }
  return native;
}

namespace {

// The picker's own dialog (the desktop's where it has one). A path typed
// with its suggestion list open can confirm the dialog while the list is
// still up: the window underneath is then activated in the list's shadow,
// which Qt passes over, and once the list goes nothing is active and the
// window takes no keys or clicks. The list is closed before the dialog.
// No Q_OBJECT: a dialog of its own class would never be the desktop's.
class FolderDialog : public QFileDialog {
 public:
  FolderDialog(QWidget* owner, const QString& title, const QString& folder)
      : QFileDialog(owner, title, folder) {
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
  }
  void done(int result) override {
    while (QWidget* popup = QApplication::activePopupWidget()) {
      if (!popup->close()) break;
    }
    QFileDialog::done(result);
  }
};

}  // namespace

QString QtFolderPicker::BrowseForFolder(QWidget* owner, const QString& title,
                                        const QString& initial_folder) {
  FolderDialog dialog(owner, title, initial_folder);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : PickedFolderPath(PathTextOnDisk(chosen.front()));
}

bool QtShell::OpenFolder(const QString& folder) {
  // False without a launcher (xdg-open) or a file manager behind it.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void QtShell::Launch(const QString& program, const QStringList& arguments) {
  // Started on its own, never waited for.
  if (!QProcess::startDetached(program, arguments)) {
    throw StandardError(kErrFileNotFound);
  }
}

QString DesktopOrHome(const QString& desktop, const QString& home) {
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return QDir::toNativeSeparators(desktop);
  return QDir::toNativeSeparators(home.isEmpty() ? desktop : home);
}

QString QtShell::DesktopFolder() {
  // An account need not have a desktop folder (a missing XDG entry means
  // the home folder); results must go somewhere that exists.
  return DesktopOrHome(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
                       QDir::homePath());
}

double QtClock::SecondsSinceMidnight() {
  return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void QtClock::WaitUpTo(double seconds) {
  // Wait in an event loop so the window stays responsive and no core spins.
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(std::ceil(seconds * 1000.0)), &loop, &QEventLoop::quit);
  loop.exec();
}

void QtRandom::Seed(double seed) {
  // Milliseconds of the day: two starts in the same second still differ.
  const double millis = std::clamp(seed, 0.0, 86400.0) * 1000.0;
  state_ =
      static_cast<unsigned long long>(millis) * 6364136223846793005ULL + 1442695040888963407ULL;
}

double QtRandom::NextFraction() {
  state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(state_ >> 11) / 9007199254740992.0;
}

void QtPump::ProcessPendingMessages() { QCoreApplication::processEvents(); }

}  // namespace delvora
