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
  // The caption shown while nothing runs: drawn, but no news to a screen
  // reader, which hears the bar's name already.
  void SetIdleText(const QString& text) { idle_text_ = text; }

 private:
  QString text_;
  QString idle_text_;
};

}  // namespace delvora
