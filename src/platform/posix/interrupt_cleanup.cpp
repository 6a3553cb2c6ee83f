#include "platform/interrupt_cleanup.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>

namespace delvora {

namespace {

constexpr int kSlots = 512;

// The signals that end the program with temporaries to remove. A broken
// pipe (the standard error or output read by a `head` that has quit) ends
// it as the shell expects, but not before the clean-up.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

constexpr std::size_t kNameRoom = 64;

// Each slot is claimed by a writer (taken), filled, then published
// (folder >= 0); the handler reads only what is published.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<int> folder{-1};
  char name[kNameRoom];
};
Slot slots_storage[kSlots];

// Once set, no new temporary is created; creating counts the creations
// under way, which the handler waits for (they hold the signals off, so the
// handler never runs on a thread it waits for).
std::atomic<bool> cleaning{false};
std::atomic<int> creating{0};
thread_local sigset_t held_mask;

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

int Claim() {
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (slots_storage[i].taken.compare_exchange_strong(expected, true)) return i;
  }
  return -1;
}

void RemoveAll() {
  cleaning.store(true);
  while (creating.load() > 0) {
  }
  for (Slot& slot : slots_storage) {
    const int folder = slot.folder.load(std::memory_order_acquire);
    if (folder >= 0) ::unlinkat(folder, slot.name, 0);
  }
}

void OnSignal(int signal_number) {
  const int saved_errno = errno;
  RemoveAll();
  // End as the signal ends a program: its status is what the caller expects
  // (a shell stops a script on SIGINT only when the child died of it).
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  sigemptyset(&usual.sa_mask);
  ::sigaction(signal_number, &usual, nullptr);
  (void)::raise(signal_number);  // delivered when this handler returns; nothing to do if not
  errno = saved_errno;
}

}  // namespace

bool TemporaryGuard::Begin(int folder_fd, const char* name) {
  Release();
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (const int signal_number : kEndingSignals) sigaddset(&interrupts, signal_number);
  ::pthread_sigmask(SIG_BLOCK, &interrupts, &held_mask);
  creating.fetch_add(1);
  if (cleaning.load()) {
    End(false);
    return false;
  }
  const std::size_t length = std::strlen(name);
  if (folder_fd < 0 || length >= kNameRoom) return true;
  slot_ = Claim();
  if (slot_ < 0) return true;
  Slot& slot = slots_storage[slot_];
  std::memcpy(slot.name, name, length + 1);
  slot.folder.store(folder_fd);
  return true;
}

void TemporaryGuard::End(bool made) {
  if (!made) Release();
  creating.fetch_sub(1);
  ::pthread_sigmask(SIG_SETMASK, &held_mask, nullptr);
}

void TemporaryGuard::Release() {
  if (slot_ < 0) return;
  Slot& slot = slots_storage[slot_];
  slot.folder.store(-1, std::memory_order_release);
  slot.taken.store(false, std::memory_order_release);
  slot_ = -1;
}

void InstallInterruptCleanup() {
  // A file-size limit then fails the write with EFBIG: one file's error,
  // not the end of the batch.
  (void)std::signal(SIGXFSZ, SIG_IGN);  // cannot fail for a valid signal
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kEndingSignals) sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : kEndingSignals) {
    struct sigaction previous {};
    ::sigaction(signal_number, nullptr, &previous);
    // A signal ignored by whoever started us (nohup) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace delvora
