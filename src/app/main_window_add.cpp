// Filling the list: "Add CSV File(s)", "Add All CSV File(s) In Folder",
// "Load Sample/Example Files", the sample list recorded at the first start,
// and files or folders dropped onto the list.

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/samples.h"
#include "conversion/paths.h"
#include "filelist/folder_walk.h"
#include "platform/file_attributes.h"
#include "platform/file_system.h"
#include "platform/qt_path_text.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

const QString kBadCharactersText =
    QStringLiteral("was not added because it has bad characters in the filename.");
const QString kTooManyFilesText = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
const QString kOpenSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

const QString kNoFileManagerText =
    QStringLiteral("No file manager was found to show the folder. The sample files are in:\r\r");

// The dialog settings "Add CSV File(s)" asks for: long names, explorer
// style, several files at once, the read-only box ticked.
constexpr int kAddFilesDialogFlags = 2621953;

// Paths keep the file system's bytes, UTF-8 or not.
std::string Utf8(const QString& text) { return PathBytes(text); }
QString FromUtf8(const std::string& text) { return PathText(text); }

// Entries found by a folder walk reach the list one folder at a time, each
// folder's as one insertion; what happens to a folder that cannot be listed
// is the caller's choice.
class ListSink : public FolderFileSink {
 public:
  ListSink(ListView& list, std::function<void(const AppError&, int)> on_failure)
      : list_(list), on_failure_(std::move(on_failure)) {}
  ~ListSink() override { FolderListed(); }
  ListSink(const ListSink&) = delete;
  ListSink& operator=(const ListSink&) = delete;
  void AddFile(const std::string& path) override { pending_ << FromUtf8(path); }
  void FolderListed() override {
    list_.AddMany(pending_);
    pending_.clear();
  }
  void ListingFailed(const AppError& error, int step) override { on_failure_(error, step); }

 private:
  ListView& list_;
  std::function<void(const AppError&, int)> on_failure_;
  QStringList pending_;
};

// The disk as a folder walk of the window sees it: once the window has been
// closed every folder reads as empty, so a walk under way winds down at once
// instead of going on behind a window that is gone.
class ListerUntilClosed : public DirectoryLister {
 public:
  explicit ListerUntilClosed(const Form1& form) : form_(form) {}
  void ForEachEntry(const std::string& folder,
                    const std::function<void(const Entry&)>& each) override {
    if (form_.IsClosing()) return;
    DirectoryLister::ForEachEntry(folder, [&](const Entry& entry) {
      if (!form_.IsClosing()) each(entry);
    });
  }

 private:
  const Form1& form_;
};

// The local files of a drag, in the drag source's order; empty when the
// drag carries no list of files.
QStringList DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << QDir::toNativeSeparators(LocalPathText(url));
  }
  return paths;
}

// The list only names the dropped files, so the drop is taken as a copy
// wherever the source allows it: a source told "moved" may delete its files.
void AcceptAsCopy(QDropEvent* event) {
  if ((event->possibleActions() & Qt::CopyAction) != 0) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else if ((event->possibleActions() & Qt::LinkAction) != 0) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
}

bool IsFolder(const QString& path) {
  // An item whose attributes cannot be read is taken as a file, so that it
  // still reaches the list and nothing else is disturbed.
  try {
    return (FileAttributes(Utf8(path)) & kAttrDirectory) != 0;
  } catch (const AppError&) {
    return false;
  }
}

}  // namespace

// ---- "Add CSV File(s)" ----

void Form1::PushButton8_Click() {
  StepRunner steps(Errors(), FormLocation("PushButton8_Click"));
  FileDialogRequest request;
  steps.Do(104, [&] { request.file_name = QString(); });
  steps.Do(106, [&] { request.flags = kAddFilesDialogFlags; });
  steps.Do(108, [&] {
    request.title = QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
  });
  steps.Do(110, [&] { request.filter = QStringLiteral("CSV Files (*.csv)|*.csv|"); });

  QString file_name;
  bool too_many = false;
  steps.Do(112, [&] {
    try {
      file_name = seams_.file_dialog->ShowOpen(this, request);
    } catch (const AppError& error) {
      if (error.number() != kErrDialogBufferTooSmall) throw;
      too_many = true;
    }
  });
  if (too_many) {
    MsgBox(kTooManyFilesText);
    return;
  }
  if (steps.If(114, [&] { return file_name.isEmpty(); })) return;

  QStringList parts;
  steps.Do(116, [&] { parts = file_name.split(QChar(u'\0')); });
  const auto add_if_readable = [&](const QString& path, int test_step) {
    if (steps.If(test_step, [&] { return !PathIsUnreadable(Utf8(path)); })) {
      steps.Do(test_step + 2, [&] { list_.Add(path); });
    } else {
      MsgBoxNaming(QString(), path, QStringLiteral("\r\r") + kBadCharactersText);
    }
  };
  if (parts.size() == 1) {
    // One file: the path exactly as the dialog gave it.
    add_if_readable(parts.front(), 122);
    return;
  }
  const QString separator(QChar::fromLatin1(kNativeSeparator));
  for (qsizetype j = 1; j < parts.size(); ++j) {
    QString full_path;
    steps.Do(140, [&] { full_path = parts.front() + separator + parts[j]; });
    // A root folder already ends in a separator; the join doubles it.
    steps.Do(142, [&] {
      full_path = FromUtf8(NormalizeBackslashes(Utf8(full_path), kNativeSeparator));
    });
    add_if_readable(full_path, 144);
  }
}

// ---- "Add All CSV File(s) In Folder" ----

void Form1::PushButton9_Click() {
  StepRunner steps(Errors(), FormLocation("PushButton9_Click"));
  QString extension;
  steps.Do(100, [&] { extension = QStringLiteral("csv"); });
  QString folder;
  steps.Do(104, [&] {
    const QString last_folder =
        seams_.settings->GetSetting(QStringLiteral("LastFolder"), QString());
    folder = seams_.folder_picker->BrowseForFolder(this, QStringLiteral("Please select folder:"),
                                                   last_folder);
  });
  if (steps.If(106, [&] { return folder.isEmpty(); })) return;
  steps.Do(108, [&] { seams_.settings->SaveSetting(QStringLiteral("LastFolder"), folder); });

  steps.Do(116, [&] { SetMousePointer(kPointerHourglass); });
  ListSink sink(list_, [&](const AppError& error, int step) {
    Errors().ReportError(error, steps.location(), step);
  });
  steps.Do(120, [&] {
    ListerUntilClosed lister(*this);
    CollectFolderFiles(Utf8(folder), "*." + Utf8(extension), Errors(), *seams_.pump, sink, lister);
  });
  steps.Do(140, [&] { SetMousePointer(kPointerDefault); });
}

// ---- Sample files ----

namespace {

QString SamplesFolder(const QString& program_folder) {
  QString folder = program_folder;
  if (!folder.endsWith(QChar::fromLatin1(kNativeSeparator)))
    folder += QChar::fromLatin1(kNativeSeparator);
  return folder + QStringLiteral("Samples");
}

QString DocumentsFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

}  // namespace

void Form1::RecordSampleList() {
  const QString samples = SamplesFolder(seams_.program_folder);
  const QString folder = UsableSamplesFolder(samples, DocumentsFolder());
  if (folder != samples) CopySamples(samples, folder);
  std::vector<std::string> names;
  // No samples folder records the empty list, so the next start looks again.
  if (FolderExists(Utf8(folder))) names = ListMatchingFiles(Utf8(folder), "*.*");
  QStringList paths;
  for (const std::string& name : names) {
    paths << folder + QChar::fromLatin1(kNativeSeparator) + FromUtf8(name);
  }
  const QString encoded =
      EncodeSampleList(paths.join(u'|'), QString::fromLatin1(kSampleListKey), seams_.pump);
  seams_.settings->SaveSetting(QStringLiteral("Snapshot"), encoded);
}

void Form1::LoadSampleFiles() {
  const QString stored =
      seams_.settings->GetSetting(QStringLiteral("Snapshot"), QStringLiteral("False"));
  const QString decoded =
      DecodeSampleList(stored, QString::fromLatin1(kSampleListKey), seams_.pump);
  const QStringList elements = decoded.isEmpty() ? QStringList() : decoded.split(u'|');
  for (const QString& element : elements) {
    if (PathExists(Utf8(element)) && !list_.ContainsText(element)) list_.Add(element);
  }
  if (MsgBox(kOpenSamplesQuestion, MsgButtons::kYesNo) == MsgAnswer::kYes) {
    const QString folder =
        UsableSamplesFolder(SamplesFolder(seams_.program_folder), DocumentsFolder());
    // Not a fault of the program: the desktop has nothing that shows folders.
    if (!seams_.shell->OpenFolder(folder)) MsgBoxNaming(kNoFileManagerText, folder, QString());
  }
}

void Form1::PushButton5_Click() {
  StepRunner steps(Errors(), FormLocation("PushButton5_Click"));
  steps.Do(100, [&] { LoadSampleFiles(); });
}

// ---- Drag and drop ----

int Form1::ListView1_OLEDragOver(const QMimeData* mime, int proposed_effect) {
  return DroppedPaths(mime).isEmpty() ? 0 : proposed_effect;
}

void Form1::ListView1_OLEDragDrop(const QMimeData* mime) {
  // Files dropped side by side go in as one insertion, in the drag's order.
  QStringList files;
  for (const QString& path : DroppedPaths(mime)) {
    if (!IsFolder(path)) {
      // Files go in exactly as the drag source named them.
      files << path;
      continue;
    }
    list_.AddMany(files);
    files.clear();
    // A folder tree that cannot be listed simply gives fewer entries; the
    // other dropped items are not affected.
    ListSink sink(list_, [](const AppError&, int) {});
    ListerUntilClosed lister(*this);
    try {
      CollectFolderFiles(Utf8(path), "*.*", Errors(), *seams_.pump, sink, lister);
    } catch (const std::exception&) {
    }
  }
  list_.AddMany(files);
}

void Form1::WireAddEvents() {
  connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
  connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
  connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
  new EventHook(ListView1->viewport(), [this](QObject*, QEvent* event) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        // A drag enter is a drag move too.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (ListView1_OLEDragOver(drag->mimeData(), static_cast<int>(drag->proposedAction())) ==
            0) {
          drag->ignore();
        } else {
          AcceptAsCopy(drag);
        }
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (DroppedPaths(drop->mimeData()).isEmpty()) {
          drop->ignore();
          return true;
        }
        AcceptAsCopy(drop);
        ListView1_OLEDragDrop(drop->mimeData());
        return true;
      }
      default:
        return false;
    }
  });
}

}  // namespace delvora
