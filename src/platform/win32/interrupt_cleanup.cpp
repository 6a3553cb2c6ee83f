#include "platform/interrupt_cleanup.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/console_code_page.h"

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

// Once set, no new temporary is created; creating counts the creations
// under way, which the handler waits for.
std::atomic<bool> cleaning{false};
std::atomic<int> creating{0};

void RemoveAll() {
  cleaning.store(true);
  while (creating.load() > 0) Sleep(0);
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
      // The console is the user's shell's: it gets its code page back.
      if (const unsigned code_page = CodePageToRestore().load(); code_page != 0)
        SetConsoleOutputCP(code_page);
      // The status the console's own handler ends a program with, which
      // scripts read as "interrupted" (Wine's handler would give 0). Other
      // threads may hold locks: nothing more runs in this process.
      TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool TemporaryGuard::Begin(int /*folder_fd*/, const wchar_t* path) {
  Release();
  creating.fetch_add(1);
  if (cleaning.load()) {
    End(false);
    return false;
  }
  std::lock_guard<std::mutex> lock(TableLock());
  std::vector<std::wstring>& table = Table();
  for (int i = 0; i < kSlots; ++i) {
    if (!table[i].empty()) continue;
    table[i] = path;
    slot_ = i;
    break;
  }
  return true;
}

void TemporaryGuard::End(bool made) {
  if (!made) Release();
  creating.fetch_sub(1);
}

void TemporaryGuard::Release() {
  if (slot_ < 0) return;
  std::lock_guard<std::mutex> lock(TableLock());
  Table()[slot_].clear();
  slot_ = -1;
}

void InstallInterruptCleanup() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

}  // namespace delvora
