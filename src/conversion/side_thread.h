#pragma once

// One thread beside the caller's, started when first wanted and kept for
// the owner's life, doing one job at a time while the caller does its own:
// the writer's write-behind and the check's second count. (delvora-convert's
// scheduler is another shape: several threads, and items that wait for
// others.)

#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace delvora {

class SideThread {
 public:
  SideThread() = default;
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;
  // Lets the job in hand finish and drops one not yet begun (the owner is
  // failing: a block of a result must not go out after the error), then
  // ends the thread.
  ~SideThread() {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Starts the thread; false when the system has none to give, and the
  // caller then does the work itself.
  bool Start() {
    if (thread_.joinable()) return true;
    try {
      thread_ = std::thread([this] { Loop(); });
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }
  bool started() const { return thread_.joinable(); }

  // Hands job over once the one before it is done; job must not throw.
  void Post(std::function<void()> job) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !pending_; });
      job_ = std::move(job);
      pending_ = true;
    }
    changed_.notify_all();
  }
  // Returns once the job posted last is done.
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !pending_; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return pending_ || quit_; });
      if (quit_) return;
      lock.unlock();
      job_();
      lock.lock();
      pending_ = false;
      changed_.notify_all();
    }
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool pending_ = false;
  bool quit_ = false;
};

}  // namespace delvora
