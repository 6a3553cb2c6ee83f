#pragma once

// Pointer images from Windows cursor (.cur) and icon (.ico) files. Qt's image
// reader decodes the picture but drops a cursor's hotspot, so the file header
// is read here as well.

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

namespace delvora {

struct CursorPicture {
  QImage image;
  // The pixel that is the pointer's tip: the file's hotspot for a cursor,
  // the image centre for an icon.
  QPoint hotspot;
};

// Throws AppError: 75 when the file cannot be opened or read, 481 "Invalid
// picture" when it is not a cursor or icon file Qt can decode.
CursorPicture ReadCursorFile(const QString& path);
CursorPicture ReadCursorBytes(const QByteArray& bytes);
// Drawn at the screen's scale, as the system's own pointers are, with the
// hot spot on the same pixel of the drawing.
QCursor LoadCursorFile(const QString& path, qreal device_pixel_ratio = 1.0);
// The same from a picture. hot_spot_in_image_pixels: the window system
// reads the hot spot in the scaled image's own pixels (X11) rather than
// scaling it itself (Windows).
QCursor CursorFromPicture(const CursorPicture& picture, qreal device_pixel_ratio,
                          bool hot_spot_in_image_pixels);

}  // namespace delvora
