#include "platform/dialog_selection.h"

#include <gtest/gtest.h>

#include <QChar>
#include <QDir>
#include <QString>

#include "conversion/paths.h"
#include "platform/app_error.h"

namespace delvora {
namespace {

QString Nul() { return QString(QChar(u'\0')); }
// "/"-separated text with the platform's separators.
QString N(const char* text) { return QDir::toNativeSeparators(QString::fromUtf8(text)); }

TEST(DialogSelectionTest, GivesTheDialogsFormsForNoneOneAndSeveralFiles) {
  EXPECT_EQ(JoinDialogSelection({}), QString());
  EXPECT_EQ(JoinDialogSelection({N("/data/in/a.csv")}), N("/data/in/a.csv"));
  EXPECT_EQ(JoinDialogSelection({N("/data/in/a.csv"), N("/data/in/b.csv")}),
            N("/data/in") + Nul() + QStringLiteral("a.csv") + Nul() + QStringLiteral("b.csv"));
  // A root keeps its separator.
  EXPECT_EQ(JoinDialogSelection({N("/a.csv"), N("/b.csv")}),
            N("/") + Nul() + QStringLiteral("a.csv") + Nul() + QStringLiteral("b.csv"));
  // Files from two folders are named below the folder that holds both.
  EXPECT_EQ(JoinDialogSelection({N("/data/x/a.csv"), N("/data/y/b.csv")}),
            N("/data") + Nul() + N("x/a.csv") + Nul() + N("y/b.csv"));
}

TEST(DialogSelectionTest, EveryRootFormJoinsBackIntoTheChosenPaths) {
  const std::vector<std::pair<QStringList, QString>> cases = {
      // Nothing in common but a drive root.
      {{"C:\\data\\in\\a.csv", "C:\\t\\b.csv"}, "C:\\"},
      {{"Z:\\data\\in\\a.csv", "Z:\\ta\\in\\a.csv"}, "Z:\\"},
      {{"\\\\srv\\share\\x\\a.csv", "\\\\srv\\share\\y\\b.csv"}, "\\\\srv\\share\\"},
      {{"\\\\srv\\share\\x\\a.csv", "\\\\srv\\share\\x\\b.csv"}, "\\\\srv\\share\\x"},
      {{"\\\\?\\C:\\a.csv", "\\\\?\\C:\\in\\b.csv"}, "\\\\?\\C:\\"},
      {{"C:\\in\\a.csv", "C:\\ina.csv"}, "C:\\"},
      {{"C:\\\xC3\xA9t\xC3\xA9\\a.csv", "C:\\\xC3\xA9t\xC3\xA9\\b.csv"}, "C:\\\xC3\xA9t\xC3\xA9"},
  };
  for (const auto& [paths, folder] : cases) {
    const QStringList parts = JoinDialogSelection(paths, '\\').split(QChar(u'\0'));
    EXPECT_EQ(parts.front(), folder) << paths.join(u' ').toStdString();
    // As "Add CSV File(s)" puts them together again.
    QStringList joined;
    for (qsizetype i = 1; i < parts.size(); ++i) {
      joined << QString::fromStdString(
          NormalizeBackslashes((parts.front() + u'\\' + parts[i]).toStdString(), '\\'));
    }
    EXPECT_EQ(joined, paths);
  }
  // No folder holds files of two drives or two shares.
  for (const QStringList& apart : {QStringList{"C:\\a.csv", "D:\\b.csv"},
                                   QStringList{"\\\\srv\\one\\a.csv", "\\\\srv\\two\\b.csv"}}) {
    try {
      JoinDialogSelection(apart, '\\');
      ADD_FAILURE() << "no failure for " << apart.join(u' ').toStdString();
    } catch (const AppError& error) {
      EXPECT_EQ(error.number(), kErrInvalidArgument);
    }
  }
}

TEST(DialogSelectionTest, SelectionLongerThanTheBufferFailsWithBufferTooSmall) {
  const QString folder = N("/f/");
  QStringList paths;
  // "/f" then NUL + 9-character names: 2 + 10 * n characters.
  for (int i = 0; i < 2999; ++i)
    paths << folder + QStringLiteral("%1.csv").arg(i, 5, 10, QChar(u'0'));
  paths << folder + QStringLiteral("zzzzz.cs");  // 2 + 29990 + 9 = 30001 characters
  try {
    JoinDialogSelection(paths);
    FAIL() << "no failure for " << paths.size() << " files";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number(), kErrDialogBufferTooSmall);
  }
  paths.back() = folder + QStringLiteral("zzzz.cs");  // exactly 30000
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
