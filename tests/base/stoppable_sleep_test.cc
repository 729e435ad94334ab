#include "base/stoppable_sleep.h"

#include <gtest/gtest.h>

#include <thread>

namespace velmarin {
namespace {

using namespace std::chrono_literals;

TEST(SleepUnlessStopped, TellsAFullSleepFromAStop) {
  std::stop_source source;
  EXPECT_TRUE(SleepUnlessStopped(source.get_token(), 1ms));
  EXPECT_TRUE(SleepUnlessStopped(source.get_token(), 0ms));

  std::jthread stopper([&] {
    std::this_thread::sleep_for(10ms);
    source.request_stop();
  });
  // Long enough that only the stop can end it within the test's run.
  EXPECT_FALSE(SleepUnlessStopped(source.get_token(), std::chrono::hours(1)));
  EXPECT_FALSE(SleepUnlessStopped(source.get_token(), 1ms));
}

}  // namespace
}  // namespace velmarin
