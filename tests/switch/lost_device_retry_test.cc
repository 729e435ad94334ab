#include "switch/lost_device_retry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace velmarin {
namespace {

using namespace std::chrono_literals;

TEST(LostDeviceRetry, ThreeFailuresInARowGiveTheDeviceUpOnce) {
  LostDeviceRetry retry([] { return LostDeviceRetry::Clock::time_point{}; });
  EXPECT_FALSE(retry.NoteFailure());
  EXPECT_FALSE(retry.NoteFailure());
  retry.Reset();  // an answer in between starts the count again
  EXPECT_FALSE(retry.NoteFailure());
  EXPECT_FALSE(retry.NoteFailure());
  EXPECT_TRUE(retry.NoteFailure());
  EXPECT_TRUE(retry.lost());
  EXPECT_FALSE(retry.NoteFailure());  // said once
}

TEST(LostDeviceRetry, TriesAtOnceThenAfterHalfASecondDoublingToFour) {
  LostDeviceRetry::Clock::time_point now{};
  LostDeviceRetry retry([&] { return now; });
  for (int i = 0; i < LostDeviceRetry::kFailuresBeforeLoss; ++i) retry.NoteFailure();
  std::vector<std::chrono::milliseconds> waits;
  for (int tries = 0; tries < 6; ++tries) {
    std::chrono::milliseconds waited{0};
    while (!retry.TryDue()) {
      now += 100ms;
      waited += 100ms;
    }
    waits.push_back(waited);
    retry.TryFailed();
  }
  EXPECT_EQ(waits,
            (std::vector<std::chrono::milliseconds>{0ms, 500ms, 1000ms, 2000ms, 4000ms, 4000ms}));
  retry.Reset();
  EXPECT_FALSE(retry.lost());
}

}  // namespace
}  // namespace velmarin
