#include "platform/qt_path_text.h"

#include <QDir>

#include "platform/app_error.h"
#include "platform/folder_listing.h"
#include "platform/utf8.h"

namespace delvora {

namespace {

constexpr char16_t kStrayByteBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

QString PathText(std::string_view bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  std::size_t at = 0;
  while (at < bytes.size()) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8Sequence(bytes.substr(at), code);
    if (length == 0) {
      text += QChar(static_cast<char16_t>(kStrayByteBase + static_cast<unsigned char>(bytes[at])));
      ++at;
      continue;
    }
    if (code < 0x10000) {
      text += QChar(static_cast<char16_t>(code));
    } else {
      text += QChar(QChar::highSurrogate(code));
      text += QChar(QChar::lowSurrogate(code));
    }
    at += length;
  }
  return text;
}

std::string PathBytes(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      AppendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
      ++i;
    } else if (unit >= kStrayByteBase + 0x80 && unit <= kStrayByteBase + 0xFF) {
      bytes += static_cast<char>(unit - kStrayByteBase);
    } else if (QChar::isSurrogate(unit)) {
      AppendUtf8(bytes, kReplacement);
    } else {
      AppendUtf8(bytes, unit);
    }
  }
  return bytes;
}

QString ShownPathText(const QString& text) {
  for (const QChar c : text) {
    // Most names need nothing: only look closer at what may need escaping.
    if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
      return QString::fromStdString(Shown(PathBytes(text)));
  }
  return text;
}

QString LocalPathText(const QUrl& url) {
  if (!url.isLocalFile()) return QString();
#ifdef _WIN32
  // Windows names are UTF-16 already; Qt's own reading keeps them.
  return QDir::toNativeSeparators(url.toLocalFile());
#else
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  return PathText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

QString PathTextOnDisk(const QString& path) {
#ifdef _WIN32
  return path;
#else
  if (!path.contains(QChar(kReplacement))) return path;
  const QStringList names = path.split(u'/');
  std::string bytes;
  for (qsizetype i = 0; i < names.size(); ++i) {
    if (i > 0) bytes += '/';
    if (!names[i].contains(QChar(kReplacement))) {
      bytes += PathBytes(names[i]);
      continue;
    }
    std::string found;
    int matches = 0;
    try {
      ListFolder(bytes, [&](const FolderEntry& entry) {
        const QString shown =
            QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
        if (shown == names[i]) {
          found = entry.name;
          ++matches;
        }
      });
    } catch (const AppError&) {
      return path;
    }
    if (matches != 1) return path;
    bytes += found;
  }
  return PathText(bytes);
#endif
}

}  // namespace delvora
