#include "app/main_window.h"

namespace delvora {

void Form1::PushButton8_Click() {}
void Form1::PushButton9_Click() {}
void Form1::PushButton5_Click() {}
void Form1::RecordSampleList() {}
void Form1::LoadSampleFiles() {}
int Form1::ListView1_OLEDragOver(const QMimeData* /*data*/, int proposed_effect) {
  return proposed_effect;
}
void Form1::ListView1_OLEDragDrop(const QMimeData* /*data*/) {}

void Form1::WireAddEvents() {}

}  // namespace delvora
