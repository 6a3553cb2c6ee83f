// Loaded into a real Delvora window with LD_PRELOAD, as an installed copy
// runs it: once the window is up, it reports what a user would see, then
// ends the program. The report (to $DELVORA_PROBE_REPORT) has one fact a line:
//   background #rrggbb     a pixel of the window's own background (the skin's colour)
//   pointer SHAPE          the pointer over the Start button (24: our own bitmap)
//   sample PATH            each entry "Load Sample/Example Files" put in the list
//   arguments ARGS         what the program was started with
//   identity NAME VERSION  the desktop entry it names and the version it gives
// No report at all means the window never came up.

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

QWidget* ShownWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("Form1") && widget->isVisible()) return widget;
  }
  return nullptr;
}

bool awaiting_question = false;

// The question after the samples are loaded ("open the folder?"): No. The
// loading pumps events, so this may come round before the question is up.
void AnswerNo() {
  if (!awaiting_question) return;
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr) {
    QTimer::singleShot(10, qApp, AnswerNo);
    return;
  }
  awaiting_question = false;
  if (QAbstractButton* no = box->button(QMessageBox::No)) {
    no->click();
  } else {
    box->reject();
  }
}

void Report() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  QWidget* window = ShownWindow();
  if (window == nullptr) {
    QTimer::singleShot(10, qApp, Report);  // not shown yet
    return;
  }
  QFile file(qEnvironmentVariable("DELVORA_PROBE_REPORT"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) QCoreApplication::exit(3);
  QTextStream out(&file);

  out << "arguments " << QCoreApplication::arguments().mid(1).join(u' ') << "\n";
  out << "identity " << QGuiApplication::desktopFileName() << " "
      << QCoreApplication::applicationVersion() << "\n";
  out << "background " << window->grab().toImage().pixelColor(2, 2).name() << "\n";

  auto* start = window->findChild<QWidget*>(QStringLiteral("PushButton7"));
  if (start != nullptr) {
    const QPointF inside(start->width() / 2.0, start->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, inside, start->mapToGlobal(inside), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(start, &move);
    out << "pointer " << static_cast<int>(window->cursor().shape()) << "\n";
  }

  auto* samples = window->findChild<QAbstractButton*>(QStringLiteral("PushButton5"));
  auto* list = window->findChild<QAbstractItemView*>(QStringLiteral("ListView1"));
  if (samples != nullptr && list != nullptr) {
    awaiting_question = true;
    QTimer::singleShot(0, qApp, AnswerNo);
    samples->click();
    awaiting_question = false;
    const QAbstractItemModel* entries = list->model();
    for (int i = 0; i < entries->rowCount(); ++i) {
      out << "sample " << entries->index(i, 0).data().toString() << "\n";
    }
  }
  out.flush();
  file.close();
  QCoreApplication::exit(0);
}

// A window that never gets as far as the report (a question nobody
// answers) fails the test with what it shows instead of hanging it.
void GiveUp() {
  QWidget* modal = QApplication::activeModalWidget();
  auto* box = qobject_cast<QMessageBox*>(modal);
  std::fprintf(stderr, "probe: no report after 60 s; on top: %s %s\n",
               modal ? qPrintable(modal->windowTitle()) : "nothing",
               box ? qPrintable(box->text()) : "");
  std::_Exit(4);
}

// Runs while the application object is still being made: the report waits
// for its event loop.
void Start() {
  QTimer::singleShot(0, QCoreApplication::instance(), Report);
  QTimer::singleShot(60000, QCoreApplication::instance(), GiveUp);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
