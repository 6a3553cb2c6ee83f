#include "platform/cursor.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <algorithm>

#include "platform/app_error.h"

namespace delvora {

namespace {

// No real pointer image comes near this; a larger file is not a picture we
// should read into memory.
constexpr qint64 kMaxCursorFileBytes = 4 * 1024 * 1024;
constexpr int kIconType = 1;
constexpr int kCursorType = 2;
constexpr int kHeaderBytes = 6;
constexpr int kEntryBytes = 16;

int Word(const QByteArray& bytes, int at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

CursorPicture ReadCursorBytes(const QByteArray& bytes) {
  if (bytes.size() < kHeaderBytes + kEntryBytes) throw StandardError(kErrInvalidPicture);
  const int type = Word(bytes, 2);
  const int count = Word(bytes, 4);
  if (Word(bytes, 0) != 0 || (type != kIconType && type != kCursorType) || count < 1 ||
      bytes.size() < kHeaderBytes + count * kEntryBytes) {
    throw StandardError(kErrInvalidPicture);
  }

  // The first entry is the one shown, as the system does for cursors.
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, type == kCursorType ? "cur" : "ico");
  CursorPicture picture;
  picture.image = reader.read();
  if (picture.image.isNull()) throw StandardError(kErrInvalidPicture);

  if (type == kIconType) {
    picture.hotspot = QPoint(picture.image.width() / 2, picture.image.height() / 2);
    return picture;
  }
  // A width or height byte of 0 means 256.
  const int declared_width = static_cast<unsigned char>(bytes[kHeaderBytes]) == 0
                                 ? 256
                                 : static_cast<unsigned char>(bytes[kHeaderBytes]);
  const int declared_height = static_cast<unsigned char>(bytes[kHeaderBytes + 1]) == 0
                                  ? 256
                                  : static_cast<unsigned char>(bytes[kHeaderBytes + 1]);
  int x = Word(bytes, kHeaderBytes + 4);
  int y = Word(bytes, kHeaderBytes + 6);
  // The hotspot is given in the entry's own pixels; keep it on the same spot
  // if the decoder produced another size, and always inside the image.
  x = x * picture.image.width() / declared_width;
  y = y * picture.image.height() / declared_height;
  picture.hotspot = QPoint(std::clamp(x, 0, picture.image.width() - 1),
                           std::clamp(y, 0, picture.image.height() - 1));
  return picture;
}

CursorPicture ReadCursorFile(const QString& path) {
  // Only a regular file can be a picture; opening a pipe left under the
  // cursor's name would wait forever for a writer.
  if (const QFileInfo info(path); info.exists() && !info.isFile()) {
    throw StandardError(kErrPathFileAccess);
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw StandardError(kErrPathFileAccess);
  }
  if (file.size() > kMaxCursorFileBytes) throw StandardError(kErrInvalidPicture);
  const QByteArray bytes = file.read(kMaxCursorFileBytes + 1);
  if (file.error() != QFileDevice::NoError) {
    throw StandardError(kErrPathFileAccess);
  }
  return ReadCursorBytes(bytes);
}

QCursor CursorFromPicture(const CursorPicture& picture, qreal device_pixel_ratio,
                          bool hot_spot_in_image_pixels) {
  const qreal ratio = std::max<qreal>(1.0, device_pixel_ratio);
  QPixmap pixmap = QPixmap::fromImage(
      ratio == 1.0 ? picture.image
                   : picture.image.scaled(picture.image.size() * ratio, Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation));
  pixmap.setDevicePixelRatio(ratio);
  const QPoint hot_spot =
      hot_spot_in_image_pixels ? (QPointF(picture.hotspot) * ratio).toPoint() : picture.hotspot;
  return QCursor(pixmap, hot_spot.x(), hot_spot.y());
}

QCursor LoadCursorFile(const QString& path, qreal device_pixel_ratio) {
  // X11 gets the scaled image with the hot spot exactly as given: left
  // alone, the click would land beside the drawn fingertip.
  return CursorFromPicture(ReadCursorFile(path), device_pixel_ratio,
                           QGuiApplication::platformName() == QLatin1String("xcb"));
}

}  // namespace delvora
