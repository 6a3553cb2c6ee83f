#pragma once

// A progress bar that shows a line of text of the program's choosing instead
// of the percentage.

#include <QProgressBar>
#include <QString>

namespace delvora {

class ProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit ProgressBar(QWidget* parent = nullptr);
  QString text() const override { return text_; }
  void SetText(const QString& text);

 private:
  QString text_;
};

}  // namespace delvora
