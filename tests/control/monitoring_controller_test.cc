#include "control/monitoring_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/stoppable_sleep.h"

namespace velmarin {
namespace {

using namespace std::chrono_literals;

// A worker that counts how many instances of itself run at once and keeps the highest count.
class CountingWorker {
 public:
  void operator()(std::stop_token stop) {
    const int now = ++running_;
    int seen = highest_.load();
    while (now > seen && !highest_.compare_exchange_weak(seen, now)) {
    }
    {
      std::lock_guard lock(mutex_);
      ++runs_;
    }
    began_.notify_all();
    // Like a worker finishing its current image: it does not notice the stop at once. The
    // controller must keep the next run out however long this takes.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    SleepUnlessStopped(stop, 50ms);
    --running_;
  }
  int highest() const { return highest_; }
  int running() const { return running_; }
  int runs() const {
    std::lock_guard lock(mutex_);
    return runs_;
  }
  // Waits (bounded) until `runs` runs have begun.
  bool WaitForRuns(int runs) const {
    std::unique_lock lock(mutex_);
    return began_.wait_for(lock, 10s, [&] { return runs_ >= runs; });
  }

 private:
  std::atomic<int> running_{0};
  std::atomic<int> highest_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable began_;
  int runs_ = 0;
};

struct ControllerFixture : ::testing::Test {
  SharedState state{ProgramDir{"/tmp", Cp932Text("/tmp")}};
  CountingWorker switch_worker;
  CountingWorker folder_worker;
  MonitoringController controller{state, [this](std::stop_token s) { switch_worker(s); },
                                  [this](std::stop_token s) { folder_worker(s); }};
};

TEST_F(ControllerFixture, RapidRestartsNeverRunTwoThreadsOfAKind) {
  for (int i = 0; i < 300; ++i) {
    switch (i % 3) {
      case 0:
        controller.Start();
        break;
      case 1:
        controller.Stop();
        controller.Start();
        break;
      default:
        controller.Stop();
        break;
    }
  }
  // Restarts while the previous run is surely inside its body.
  for (int i = 0; i < 100; ++i) {
    const int before = folder_worker.runs();
    controller.Start();
    ASSERT_TRUE(folder_worker.WaitForRuns(before + 1));
    controller.Stop();
  }
  controller.StopAndJoin();
  EXPECT_EQ(switch_worker.highest(), 1);
  EXPECT_EQ(folder_worker.highest(), 1);
  EXPECT_EQ(switch_worker.running(), 0);
  EXPECT_EQ(folder_worker.running(), 0);
  EXPECT_FALSE(state.monitoring_active);
}

TEST_F(ControllerFixture, StartIfStoppedStartsOnlyOnce) {
  EXPECT_TRUE(controller.StartIfStopped());
  EXPECT_FALSE(controller.StartIfStopped());
  EXPECT_TRUE(state.monitoring_active);
  ASSERT_TRUE(folder_worker.WaitForRuns(1));
  ASSERT_TRUE(switch_worker.WaitForRuns(1));
  controller.StopAndJoin();
  EXPECT_EQ(switch_worker.runs(), 1);
  EXPECT_EQ(folder_worker.runs(), 1);
  EXPECT_TRUE(controller.StartIfStopped());
  ASSERT_TRUE(folder_worker.WaitForRuns(2));
  controller.StopAndJoin();
  EXPECT_EQ(folder_worker.runs(), 2);
}

TEST_F(ControllerFixture, NothingStartsOnceClosed) {
  controller.Start();
  ASSERT_TRUE(folder_worker.WaitForRuns(1));
  ASSERT_TRUE(switch_worker.WaitForRuns(1));
  controller.Close();
  EXPECT_FALSE(state.monitoring_active);
  controller.Start();
  EXPECT_FALSE(controller.StartIfStopped());
  EXPECT_FALSE(state.monitoring_active);
  controller.StopAndJoin();
  EXPECT_EQ(folder_worker.runs(), 1);
  EXPECT_EQ(switch_worker.runs(), 1);
}

TEST_F(ControllerFixture, StopIsSeenByTheRunningThreads) {
  controller.Start();
  ASSERT_TRUE(folder_worker.WaitForRuns(1));
  controller.Stop();
  EXPECT_FALSE(state.monitoring_active);
  controller.StopAndJoin();
  EXPECT_EQ(folder_worker.running(), 0);
}

}  // namespace
}  // namespace velmarin
