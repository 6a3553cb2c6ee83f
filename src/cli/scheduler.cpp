#include "cli/scheduler.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace delvora {

std::vector<std::vector<std::size_t>> WaitsForSharedFiles(
    const std::vector<std::vector<PathIdentity>>& files) {
  std::vector<std::vector<std::size_t>> waits(files.size());
  std::unordered_map<PathIdentity, std::size_t, PathIdentityHash> last_user;
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (const PathIdentity& file : files[i])
      if (auto found = last_user.find(file); found != last_user.end())
        waits[i].push_back(found->second);
    for (const PathIdentity& file : files[i]) last_user[file] = i;
  }
  return waits;
}

void RunInOrder(std::size_t count, unsigned jobs,
                const std::vector<std::vector<std::size_t>>& waits,
                const std::function<void(std::size_t)>& job,
                const std::function<void(std::size_t)>& started,
                const std::function<void(std::size_t)>& finished) {
  enum class State { kQueued, kRunning, kDone };
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<State> states(count, State::kQueued);
  std::size_t next = 0;
  const auto worker = [&] {
    std::unique_lock lock(mutex);
    while (next < count) {
      const std::size_t i = next++;
      changed.wait(lock, [&] {
        return std::all_of(waits[i].begin(), waits[i].end(),
                           [&](std::size_t w) { return states[w] == State::kDone; });
      });
      states[i] = State::kRunning;
      changed.notify_all();
      lock.unlock();
      job(i);
      lock.lock();
      states[i] = State::kDone;
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  const std::size_t wanted = std::min<std::size_t>(jobs, count);
  try {
    while (pool.size() < wanted) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // Fewer threads than asked: the ones running share the work.
  }
  if (pool.empty()) worker();
  for (std::size_t i = 0; i < count; ++i) {
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return states[i] != State::kQueued; });
    }
    started(i);
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return states[i] == State::kDone; });
    }
    finished(i);
  }
  for (std::thread& thread : pool) thread.join();
}

}  // namespace delvora
