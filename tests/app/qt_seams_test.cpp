// The parts of the desktop seams that can run without a desktop.

#include "platform/qt_seams.h"

#include <gtest/gtest.h>

#include <QDir>

namespace delvora::testing {
namespace {

TEST(PickedFolderPath, NoTrailingSeparatorExceptOnARoot) {
  EXPECT_EQ(PickedFolderPath(""), "");
  EXPECT_EQ(PickedFolderPath(QDir::rootPath()), QDir::toNativeSeparators(QDir::rootPath()));
  const QString sep = QDir::separator();
  EXPECT_EQ(PickedFolderPath("/data/in"), sep + "data" + sep + "in");
  EXPECT_EQ(PickedFolderPath("/data/in/"), sep + "data" + sep + "in");
  // A long path comes back whole.
  const QString long_path = "/" + QString(258, 'a');
  EXPECT_EQ(PickedFolderPath(long_path).size(), 259);
}

TEST(QtRandom, FractionsStayInRangeAndTheSeedDecides) {
  QtRandom a;
  QtRandom b;
  a.Seed(43200.25);
  b.Seed(43200.25);
  int sevens = 0;
  for (int i = 0; i < 20000; ++i) {
    const double x = a.NextFraction();
    ASSERT_GE(x, 0.0);
    ASSERT_LT(x, 1.0);
    EXPECT_EQ(x, b.NextFraction());
    if (static_cast<int>(x * 100.0) + 1 == 7) ++sevens;
  }
  // About one draw in a hundred.
  EXPECT_GT(sevens, 120);
  EXPECT_LT(sevens, 280);
  QtRandom c;
  c.Seed(43201.0);
  a.Seed(43200.25);
  EXPECT_NE(a.NextFraction(), c.NextFraction());
}

}  // namespace
}  // namespace delvora::testing
