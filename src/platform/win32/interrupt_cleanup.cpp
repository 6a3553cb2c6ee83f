#include "platform/interrupt_cleanup.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace delvora {

namespace {

constexpr int kSlots = 512;

// The console handler runs on a thread of its own, not inside a signal:
// a lock is allowed there.
std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}
std::vector<std::wstring>& Table() {
  static std::vector<std::wstring> table(kSlots);
  return table;
}

void RemoveAll() {
  std::lock_guard<std::mutex> lock(TableLock());
  // The writers open their temporaries with delete sharing, so deleting
  // works while they are open; the file goes when the process's handles
  // close.
  for (const std::wstring& path : Table()) {
    if (!path.empty()) DeleteFileW(path.c_str());
  }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      RemoveAll();
      break;
    default:
      break;
  }
  return FALSE;  // the default handler ends the process as usual
}

}  // namespace

void TemporaryGuard::Register(int /*folder_fd*/, const wchar_t* path) {
  Release();
  std::lock_guard<std::mutex> lock(TableLock());
  std::vector<std::wstring>& table = Table();
  for (int i = 0; i < kSlots; ++i) {
    if (!table[i].empty()) continue;
    table[i] = path;
    slot_ = i;
    return;
  }
}

void TemporaryGuard::Release() {
  if (slot_ < 0) return;
  std::lock_guard<std::mutex> lock(TableLock());
  Table()[slot_].clear();
  slot_ = -1;
}

void InstallInterruptCleanup() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

}  // namespace delvora
