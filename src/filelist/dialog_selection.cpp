#include "filelist/dialog_selection.h"

#include <QDir>
#include <QFileInfo>

#include "platform/app_error.h"

namespace delvora {

namespace {

// The folder holding every path, in Qt's "/" form; a root keeps its "/".
QString CommonFolder(const QStringList& paths) {
  QString common = QFileInfo(paths.front()).absolutePath();
  const auto holds_all = [&paths](const QString& folder) {
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString& path : paths) {
      if (!path.startsWith(prefix, Qt::CaseSensitive)) return false;
    }
    return true;
  };
  while (!holds_all(common)) {
    const QString parent = QFileInfo(common).absolutePath();
    if (parent == common) break;
    common = parent;
  }
  return common;
}

}  // namespace

QString JoinDialogSelection(const QStringList& native_paths) {
  QString answer;
  if (native_paths.size() == 1) {
    answer = native_paths.front();
  } else if (native_paths.size() > 1) {
    QStringList paths;
    for (const QString& path : native_paths) paths << QDir::fromNativeSeparators(path);
    const QString folder = CommonFolder(paths);
    const qsizetype skip = folder.endsWith(u'/') ? folder.size() : folder.size() + 1;
    answer = QDir::toNativeSeparators(folder);
    for (const QString& path : paths) {
      answer += QChar(u'\0');
      answer += QDir::toNativeSeparators(path.mid(skip));
    }
  }
  if (answer.size() > kDialogBufferLength) {
    throw AppError(kErrDialogBufferTooSmall,
                   "The FileName buffer is too small to store the selected file name(s)");
  }
  return answer;
}

QString QtNameFilter(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    if (description.contains(u'(' + patterns + u')')) {
      filters << description;
    } else {
      filters << description + QStringLiteral(" (") + patterns + u')';
    }
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace delvora
