// Reading pointer images from cursor and icon files, hotspot included.

#include "platform/cursor.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtEndian>

#include "app/app_test_support.h"
#include "platform/app_error.h"
#include "support/test_support.h"

namespace delvora::testing {
namespace {

void PutWord(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}
void PutLong(QByteArray& out, qint64 value) {
  PutWord(out, static_cast<int>(value & 0xFFFF));
  PutWord(out, static_cast<int>((value >> 16) & 0xFFFF));
}

// One 32-bit image of side x side pixels, opaque red, as a .cur (type 2) or
// .ico (type 1) file.
QByteArray IconFile(int type, int side, int hot_x, int hot_y) {
  QByteArray dib;
  PutLong(dib, 40);
  PutLong(dib, side);
  PutLong(dib, 2 * side);
  PutWord(dib, 1);
  PutWord(dib, 32);
  for (int i = 0; i < 6; ++i) PutLong(dib, 0);
  for (int i = 0; i < side * side; ++i) dib.append("\x00\x00\xFF\xFF", 4);
  const int mask_row = ((side + 31) / 32) * 4;
  dib.append(QByteArray(mask_row * side, '\0'));

  QByteArray file;
  PutWord(file, 0);
  PutWord(file, type);
  PutWord(file, 1);
  file.append(static_cast<char>(side));
  file.append(static_cast<char>(side));
  file.append('\0');
  file.append('\0');
  PutWord(file, type == 2 ? hot_x : 1);
  PutWord(file, type == 2 ? hot_y : 32);
  PutLong(file, dib.size());
  PutLong(file, 22);
  return file + dib;
}

TEST(CursorFile, CursorHotspotComesFromTheFileHeader) {
  const CursorPicture picture = ReadCursorBytes(IconFile(2, 16, 3, 5));
  EXPECT_EQ(picture.image.size(), QSize(16, 16));
  EXPECT_EQ(picture.hotspot, QPoint(3, 5));
  EXPECT_EQ(QColor(picture.image.pixel(0, 0)), QColor(Qt::red));
  // A hotspot outside the picture is kept on its edge.
  EXPECT_EQ(ReadCursorBytes(IconFile(2, 16, 40, 99)).hotspot, QPoint(15, 15));
}

// On a screen at twice the scale the pointer grows with the system's arrow,
// and its hot spot stays on the same pixel of the drawing, in the units the
// window system reads it in.
TEST(CursorFile, ThePointerAndItsHotSpotScaleWithTheScreen) {
  TempDir dir;
  WriteFile(dir.path() / "hand.cur", IconFile(2, 32, 4, 6).toStdString());
  const QString path = QString::fromStdString(dir.Utf8() + "/hand.cur");
  const CursorPicture picture = ReadCursorFile(path);
  for (const qreal ratio : {1.0, 1.5, 2.0}) {
    SCOPED_TRACE(ratio);
    const QCursor cursor = LoadCursorFile(path, ratio);
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32) * ratio);
    EXPECT_EQ(cursor.pixmap().deviceIndependentSize(), QSizeF(32, 32));
    // X11: in the scaled image's pixels.
    const QCursor image_pixels = CursorFromPicture(picture, ratio, true);
    EXPECT_EQ(image_pixels.hotSpot(), (QPointF(4, 6) * ratio).toPoint());
    EXPECT_EQ(image_pixels.pixmap().size(), QSize(32, 32) * ratio);
    // Elsewhere Qt scales it with the image itself.
    EXPECT_EQ(CursorFromPicture(picture, ratio, false).hotSpot(), QPoint(4, 6));
  }
}

TEST(CursorFile, IconUsedAsPointerPointsWithItsCentre) {
  const CursorPicture picture = ReadCursorBytes(IconFile(1, 32, 0, 0));
  EXPECT_EQ(picture.hotspot, QPoint(16, 16));
}

TEST(CursorFile, FilesThatAreNoPictureAreInvalidPictures) {
  const QByteArray good = IconFile(2, 16, 1, 1);
  QByteArray wrong_reserved = good;
  wrong_reserved[0] = 1;
  QByteArray wrong_type = good;
  wrong_type[2] = 3;
  QByteArray no_images = good;
  no_images[4] = 0;
  QByteArray more_entries_than_bytes = good.left(22);
  more_entries_than_bytes[4] = 9;
  QByteArray garbage_image = good.left(22) + QByteArray(200, 'x');
  for (const QByteArray& bytes :
       {QByteArray(), QByteArray("text, not a cursor"), good.left(10), wrong_reserved, wrong_type,
        no_images, more_entries_than_bytes, garbage_image}) {
    EXPECT_EQ(ErrorNumberOf([&] { ReadCursorBytes(bytes); }), 481);
  }
}

TEST(CursorFile, MissingUnreadableAndHugeFilesAreReported) {
  TempDir dir;
  const auto path = [&](const char* name) { return QString::fromStdString((dir / name).string()); };
  EXPECT_EQ(ErrorNumberOf([&] { ReadCursorFile(path("missing.cur")); }), 75);
  std::filesystem::create_directory(dir / "folder.cur");
  EXPECT_EQ(ErrorNumberOf([&] { ReadCursorFile(path("folder.cur")); }), 75);
  WriteFile(dir / "huge.cur", std::string(5 * 1024 * 1024, '\0'));
  EXPECT_EQ(ErrorNumberOf([&] { ReadCursorFile(path("huge.cur")); }), 481);
  const QByteArray good = IconFile(2, 32, 7, 9);
  WriteFile(dir / "good.cur", std::string(good.constData(), static_cast<size_t>(good.size())));
  const QCursor cursor = LoadCursorFile(path("good.cur"));
  EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cursor.hotSpot(), QPoint(7, 9));
}

}  // namespace
}  // namespace delvora::testing
