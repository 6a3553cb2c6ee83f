#pragma once

// File names as the window holds them. The file system gives bytes, the
// widgets take text: a name that is not UTF-8 keeps each stray byte as a
// code unit of its own (U+DC80 to U+DCFF, never a character of any real
// name), so that the bytes come back exactly when the file is opened.

#include <QString>
#include <QUrl>
#include <string>
#include <string_view>

namespace delvora {

// Bytes (UTF-8 where they are) to the window's text, and back.
QString PathText(std::string_view bytes);
std::string PathBytes(const QString& text);

// The text a person reads: stray bytes and invisible or line-breaking
// characters as escapes (\xFF, \u202E), everything else as it is.
QString ShownPathText(const QString& text);

// The local path a dropped URL names, with the bytes its percent escapes
// carry; "" when it is no local file.
QString LocalPathText(const QUrl& url);

// A path whose names a dialog could only show with replacement characters
// (U+FFFD), matched back to the names on disk; unchanged when it has none,
// or when a name cannot be told apart from another.
QString PathTextOnDisk(const QString& path);

}  // namespace delvora
