#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QStringList>

#include "app/startup.h"
#include "platform/interrupt_cleanup.h"
#include "platform/product.h"

namespace {

// The window takes no files on its command line. It answers --help and
// --version without opening and ignores every other argument, as it always
// has. Both are read before any application object exists, so that they
// answer where there is no display; the options Qt reads itself
// (-platform, -style, -reverse...) are whole words, not bundles of letters.
void AnswerHelpOrVersion(int argc, char* argv[]) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral("Converts delimited text files into tab-separated .tsv files, in batches.\n"
                     "Opens the window: the files, the delimiter and where the results go are\n"
                     "chosen there. Any other argument is ignored. For conversions from a\n"
                     "command line or a script, use delvora-convert."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // An unknown option is no error here: the window opens anyway.
  parser.parse(arguments);
  const bool wants_help = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
  if (!wants_help && !parser.isSet(version)) return;
  QCoreApplication app(argc, argv);
  if (wants_help) parser.showHelp(0);
  parser.showVersion();
}

}  // namespace

int main(int argc, char* argv[]) {
  delvora::InstallInterruptCleanup();
  QCoreApplication::setApplicationName(QStringLiteral("delvora"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(delvora::kProductVersion));
  AnswerHelpOrVersion(argc, argv);

  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QString::fromLatin1(delvora::kDesktopFileName));
  return delvora::RunDelvora(app, delvora::StartupMode::kInteractive);
}
