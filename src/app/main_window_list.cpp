#include "app/main_window.h"

namespace delvora {

void Form1::PushButton7_Click() {}
void Form1::Pause(double /*seconds*/) {}
void Form1::ListView1_DblClick() {}
void Form1::ListView1_KeyDown(int /*key_code*/, int /*shift*/) {}
void Form1::PushButton4_Click() {}
void Form1::ListView1_MouseDown(int, int, int, int) {}
void Form1::ListView1_ItemClick(int /*position*/) {}
void Form1::ListView1_MouseMove(int, int, int, int) {}
void Form1::ListView1_MouseUp(int, int, int, int) {}

void Form1::WireListEvents() {}

}  // namespace delvora
