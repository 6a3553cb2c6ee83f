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

TEST(ShippedResources, ApplicationIconHoldsTheFourImages) {
  const QByteArray ico = ReadAll(Resource("delvora.ico"));
  ASSERT_GE(ico.size(), 6 + 4 * 16);
  EXPECT_EQ(Word(ico, 2), 1);
  ASSERT_EQ(Word(ico, 4), 4);
  struct Expected {
    int side;
    int bits;
  };
  const Expected expected[] = {{32, 24}, {256, 32}, {128, 32}, {48, 32}};
  for (int i = 0; i < 4; ++i) {
    const int entry = 6 + 16 * i;
    const int side =
        static_cast<unsigned char>(ico[entry]) == 0 ? 256 : static_cast<unsigned char>(ico[entry]);
    EXPECT_EQ(side, expected[i].side);
    const int offset = Word(ico, entry + 12) | Word(ico, entry + 14) << 16;
    EXPECT_EQ(Word(ico, offset + 14), expected[i].bits) << "image " << i;  // biBitCount
  }
  QBuffer buffer;
  buffer.setData(ico);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  QList<int> sides;
  for (int i = 0; i < reader.imageCount(); ++i) {
    reader.jumpToImage(i);
    sides << reader.read().width();
  }
  EXPECT_EQ(sides, QList<int>({32, 256, 128, 48}));
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
