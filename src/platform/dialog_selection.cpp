#include "platform/dialog_selection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/app_error.h"

namespace delvora {

namespace {

// The length of the folder (its separator included) that holds every path,
// never cutting into a root: the text decides, so that the current drive,
// a share and the long forms are taken as they are written.
std::size_t CommonFolderLength(const std::vector<std::string>& paths, char separator) {
  const std::string& first = paths.front();
  // Just after the last separator within the first `length` characters.
  const auto folder_end = [&](std::size_t length) -> std::size_t {
    const std::size_t last = length == 0 ? std::string::npos : first.rfind(separator, length - 1);
    return last == std::string::npos ? 0 : last + 1;
  };
  std::size_t common = folder_end(first.size());
  for (const std::string& path : paths) {
    const std::size_t limit = std::min(common, path.size());
    std::size_t same = 0;
    while (same < limit && path[same] == first[same]) ++same;
    if (same < common) common = folder_end(same);
  }
  const std::size_t root = RootLength(first, separator);
  if (common == 0 || common < root) {
    throw StandardError(kErrInvalidArgument, ErrorReason::kNoCommonFolder);
  }
  return common;
}

}  // namespace

QString JoinDialogSelection(const QStringList& paths, char separator) {
  QString answer;
  if (paths.size() == 1) {
    answer = paths.front();
  } else if (paths.size() > 1) {
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) texts.push_back(path.toStdString());
    // Cut between whole UTF-8 characters: the separator is one byte of its own.
    const std::size_t common = CommonFolderLength(texts, separator);
    const bool is_root = common == RootLength(texts.front(), separator);
    answer = QString::fromStdString(texts.front().substr(0, is_root ? common : common - 1));
    for (const std::string& text : texts) {
      answer += QChar(u'\0');
      answer += QString::fromStdString(text.substr(common));
    }
  }
  if (answer.size() > kDialogBufferLength) {
    throw StandardError(kErrDialogBufferTooSmall);
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
