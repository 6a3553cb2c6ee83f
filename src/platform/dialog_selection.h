#pragma once

// What the open-file dialog hands back to "Add CSV File(s)": one full path,
// or the folder followed by each chosen name, separated by NUL characters,
// within the dialog's 30,000-character selection buffer.

#include <QString>
#include <QStringList>

#include "platform/utf8_path.h"

namespace delvora {

inline constexpr int kDialogBufferLength = 30000;

// Joins the chosen files (full paths with the given separator) into the
// dialog's answer: "" for none, the path for one, otherwise their common
// folder (with a trailing separator only when it is a root: a drive, a
// share, "/") and the names below it. Throws AppError
// (kErrDialogBufferTooSmall) when the answer does not fit the buffer, and
// AppError(kErrInvalidArgument) when the files share no folder (two drives).
QString JoinDialogSelection(const QStringList& paths, char separator = kNativeSeparator);

// The dialog's filter ("CSV Files (*.csv)|*.csv|": description and pattern
// pairs) as a Qt name filter ("CSV Files (*.csv)").
QString QtNameFilter(const QString& filter);

}  // namespace delvora
