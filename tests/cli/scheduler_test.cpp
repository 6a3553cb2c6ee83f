#include "cli/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace delvora {
namespace {

TEST(RunInOrder, ReportsInOrderAndWorksOnlyAfterWhatItemsWaitFor) {
  // Item 3 waits for 0, item 5 for 3 and 4, item 6 for 1.
  const std::vector<std::vector<std::size_t>> chained = {{}, {}, {}, {0}, {}, {3, 4}, {1}};
  for (const unsigned jobs : {1u, 2u, 4u, 300u}) {
    std::mutex mutex;
    std::vector<std::string> events;  // "begin i", "end i", "started i", "finished i"
    std::vector<int> stored(chained.size(), -1);
    const auto log = [&](const char* what, std::size_t i) {
      std::lock_guard lock(mutex);
      events.push_back(what + std::to_string(i));
    };
    RunInOrder(
        chained.size(), jobs, chained,
        [&](std::size_t i) {
          log("begin ", i);
          stored[i] = static_cast<int>(i) * 10;
          log("end ", i);
        },
        [&](std::size_t i) { log("started ", i); },
        [&](std::size_t i) {
          EXPECT_EQ(stored[i], static_cast<int>(i) * 10);
          log("finished ", i);
        });
    const auto at = [&](const std::string& event) {
      return std::find(events.begin(), events.end(), event) - events.begin();
    };
    ASSERT_EQ(events.size(), chained.size() * 4) << jobs;
    std::vector<std::string> reported, expected;
    for (const std::string& event : events)
      if (event[0] == 's' || event[0] == 'f') reported.push_back(event);
    for (std::size_t i = 0; i < chained.size(); ++i)
      expected.insert(expected.end(),
                      {"started " + std::to_string(i), "finished " + std::to_string(i)});
    EXPECT_EQ(reported, expected) << jobs;
    for (std::size_t i = 0; i < chained.size(); ++i) {
      const std::string n = std::to_string(i);
      EXPECT_LT(at("end " + n), at("finished " + n)) << jobs;
      for (const std::size_t w : chained[i])
        EXPECT_LT(at("end " + std::to_string(w)), at("begin " + n)) << jobs << " " << i;
    }
  }
  RunInOrder(
      0, 2, {}, [](std::size_t) { ADD_FAILURE(); }, [](std::size_t) { ADD_FAILURE(); },
      [](std::size_t) { ADD_FAILURE(); });
}

// Two jobs really run at once: the first finishes only once the second has
// begun (the time limit only keeps a broken scheduler from hanging).
TEST(RunInOrder, RunsUpToJobsItemsAtOnce) {
  std::mutex mutex;
  std::condition_variable changed;
  bool second_began = false;
  bool overlapped = false;
  RunInOrder(
      2, 2, {{}, {}},
      [&](std::size_t i) {
        std::unique_lock lock(mutex);
        if (i == 1) {
          second_began = true;
          changed.notify_all();
        } else {
          overlapped =
              changed.wait_for(lock, std::chrono::seconds(60), [&] { return second_began; });
        }
      },
      [](std::size_t) {}, [](std::size_t) {});
  EXPECT_TRUE(overlapped);
}

TEST(WaitsForSharedFiles, EachItemWaitsForTheLastEarlierUserOfItsFiles) {
  const PathIdentity a{1, 1, ""}, b{1, 2, ""}, c{1, 0, "c.tsv"};
  EXPECT_EQ(WaitsForSharedFiles({{a}, {b, c}, {a, b}, {}, {a}, {c}}),
            (std::vector<std::vector<std::size_t>>{{}, {}, {0, 1}, {}, {2}, {1}}));
}

}  // namespace
}  // namespace delvora
