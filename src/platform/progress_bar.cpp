#include "platform/progress_bar.h"

namespace delvora {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(true);
  setAlignment(Qt::AlignCenter);
}

void ProgressBar::SetText(const QString& text) {
  text_ = text;
  // What the bar says is read out too, not only its percentage.
  setAccessibleDescription(text == idle_text_ ? QString() : text);
  update();
}

}  // namespace delvora
