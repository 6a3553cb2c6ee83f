// The resources we ship beside the executable are what the window expects.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPushButton>
#include <QWidget>

#include "app/skin.h"
#include "platform/cursor.h"

namespace delvora::testing {
namespace {

QString Resource(const char* name) { return QStringLiteral(DELVORA_RESOURCES_DIR "/") + name; }

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int Word(const QByteArray& b, int at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

// Windows picks the image nearest the size it draws (16 to 24 pixels in
// title bars and lists at 100% to 150%, 32 and 48 in Explorer, 256 in its
// large views); one without alpha would show a black or white box around
// the round corners.
TEST(ShippedResources, ApplicationIconHoldsEverySizeWithAlpha) {
  const QByteArray ico = ReadAll(Resource("delvora.ico"));
  const QList<int> expected({16, 20, 24, 32, 48, 128, 256});
  ASSERT_GE(ico.size(), 6 + expected.size() * 16);
  EXPECT_EQ(Word(ico, 2), 1);
  ASSERT_EQ(Word(ico, 4), expected.size());
  for (int i = 0; i < expected.size(); ++i) {
    const int offset = Word(ico, 6 + 16 * i + 12) | Word(ico, 6 + 16 * i + 14) << 16;
    EXPECT_EQ(Word(ico, offset + 14), 32) << "image " << i;  // biBitCount
  }
  QBuffer buffer;
  buffer.setData(ico);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  QList<int> sides;
  for (int i = 0; i < reader.imageCount(); ++i) {
    reader.jumpToImage(i);
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    sides << image.width();
    const int last = image.width() - 1;
    // Transparent outside the rounded square, opaque in its middle, and
    // partly transparent on its edge.
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << image.width();
    EXPECT_EQ(qAlpha(image.pixel(last, last)), 0) << image.width();
    EXPECT_EQ(qAlpha(image.pixel(last / 2, last / 2)), 255) << image.width();
    bool partial = false;
    for (int x = 0; x <= last && !partial; ++x) {
      for (int y = 0; y <= last / 4 && !partial; ++y) {
        const int alpha = qAlpha(image.pixel(x, y));
        partial = alpha > 0 && alpha < 255;
      }
    }
    EXPECT_TRUE(partial) << image.width();
  }
  EXPECT_EQ(sides, expected);
}

TEST(ShippedResources, HandCursorPointsWithTheFingertipAndDragIconLoads) {
  const CursorPicture hand = ReadCursorFile(Resource("HAND-M.CUR"));
  EXPECT_EQ(hand.image.size(), QSize(32, 32));
  EXPECT_EQ(hand.hotspot, QPoint(11, 1));
  // The hotspot is on the drawn finger, not in empty space.
  bool drawn = false;
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = 0; dy <= 2; ++dy) {
      drawn = drawn || qAlpha(hand.image.pixel(hand.hotspot + QPoint(dx, dy))) > 128;
    }
  }
  EXPECT_TRUE(drawn);
  const CursorPicture drag = ReadCursorFile(Resource("drag.ico"));
  EXPECT_EQ(drag.image.size(), QSize(32, 32));
}

TEST(ShippedResources, SkinParsesAndQtAcceptsItsStyleSheet) {
  const SkinDefinition skin = ParseSkin(ReadAll(Resource("x/o.cjs")));
  EXPECT_EQ(skin.name, "Clean");
  EXPECT_FALSE(skin.colours.empty());
  ASSERT_FALSE(skin.style_sheet.isEmpty());
  static QStringList warnings;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& message) { warnings << message; });
  {
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("x"), &window);
    window.setStyleSheet(skin.style_sheet);
    window.ensurePolished();
    button->ensurePolished();
  }
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

}  // namespace
}  // namespace delvora::testing
