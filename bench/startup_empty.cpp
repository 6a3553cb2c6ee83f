// The yardstick for start-up: an empty Qt Widgets window, started the same
// way and ended at its first paint.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class EmptyWindow : public QWidget {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
    }
    return QWidget::event(event);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  EmptyWindow window;
  window.resize(536, 532);
  window.show();
  return app.exec();
}
