#include "filelist/dialog_selection.h"

#include <gtest/gtest.h>

#include <QChar>
#include <QString>

#include "platform/app_error.h"

namespace delvora {
namespace {

QString Nul() { return QString(QChar(u'\0')); }

TEST(DialogSelectionTest, GivesTheDialogsFormsForNoneOneAndSeveralFiles) {
  EXPECT_EQ(JoinDialogSelection({}), QString());
  EXPECT_EQ(JoinDialogSelection({QStringLiteral("/data/in/a.csv")}),
            QStringLiteral("/data/in/a.csv"));
  EXPECT_EQ(
      JoinDialogSelection({QStringLiteral("/data/in/a.csv"), QStringLiteral("/data/in/b.csv")}),
      QStringLiteral("/data/in") + Nul() + QStringLiteral("a.csv") + Nul() +
          QStringLiteral("b.csv"));
  // A root keeps its separator.
  EXPECT_EQ(
      JoinDialogSelection({QStringLiteral("/a.csv"), QStringLiteral("/b.csv")}),
      QStringLiteral("/") + Nul() + QStringLiteral("a.csv") + Nul() + QStringLiteral("b.csv"));
  // Files from two folders are named below the folder that holds both.
  EXPECT_EQ(JoinDialogSelection({QStringLiteral("/data/x/a.csv"), QStringLiteral("/data/y/b.csv")}),
            QStringLiteral("/data") + Nul() + QStringLiteral("x/a.csv") + Nul() +
                QStringLiteral("y/b.csv"));
}

TEST(DialogSelectionTest, SelectionLongerThanTheBufferFailsWithBufferTooSmall) {
  const QString folder = QStringLiteral("/f");
  QStringList paths;
  // "/f" then NUL + 9-character names: 2 + 10 * n characters.
  for (int i = 0; i < 2999; ++i)
    paths << folder + QStringLiteral("/%1.csv").arg(i, 5, 10, QChar(u'0'));
  paths << folder + QStringLiteral("/zzzzz.cs");  // 2 + 29990 + 9 = 30001 characters
  try {
    JoinDialogSelection(paths);
    FAIL() << "no failure for " << paths.size() << " files";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number(), kErrDialogBufferTooSmall);
  }
  paths.back() = folder + QStringLiteral("/zzzz.cs");  // exactly 30000
  EXPECT_EQ(JoinDialogSelection(paths).size(), kDialogBufferLength);
}

TEST(DialogSelectionTest, FilterPairsBecomeQtNameFilters) {
  EXPECT_EQ(QtNameFilter(QStringLiteral("CSV Files (*.csv)|*.csv|")),
            QStringLiteral("CSV Files (*.csv)"));
  EXPECT_EQ(QtNameFilter(QStringLiteral("Text|*.txt;*.tsv|All (*.*)|*.*")),
            QStringLiteral("Text (*.txt *.tsv);;All (*.*)"));
  EXPECT_EQ(QtNameFilter(QString()), QString());
}

}  // namespace
}  // namespace delvora
