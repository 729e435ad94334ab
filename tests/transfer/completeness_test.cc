#include "transfer/image_completeness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stop_token>

#include "support/pictures.h"
#include "support/temp_dir.h"
#include "transfer/stepped_completeness.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
// A file is never given time to settle: only a clean whole JPEG is complete in time.
const CompletenessLimits kAtOnceOnly{1ms, std::chrono::hours(1), 50ms};
// Settles quickly, so the tests see the rule without waiting a second.
const CompletenessLimits kQuick{5ms, 100ms, 5s};
// For a writer of the test's own, who writes at every look.
const CompletenessLimits kWriterPauses{5ms, 1s, 30s};

// A JPEG whose scan data is damaged inside; the file still ends with its end marker.
std::string DamagedJpeg() {
  std::string jpeg = JpegBytes(128, 96, 7);
  const std::size_t scan = jpeg.find("\xFF\xDA");
  for (std::size_t i = scan + 300; i < scan + 360; ++i) jpeg[i] = static_cast<char>(0xFF);
  return jpeg;
}

class Completeness : public ::testing::Test {
 protected:
  Completeness() { fs::last_write_time(dir_.path(), fs::file_time_type::clock::now()); }

  velmarin::Completeness Wait(const std::string& name, const CompletenessLimits& limits) {
    return WaitUntilComplete(dir_ / name, {}, limits);
  }

  TempDir dir_;
  const std::string jpeg_ = JpegBytes(64, 48, 1);
  const std::string bmp_ = BmpBytes(5, 3, 1);
};

TEST_F(Completeness, CleanWholeJpegIsTakenAtOnce) {
  WriteFileBytes(dir_ / "a.jpg", jpeg_);
  WriteFileBytes(dir_ / "zeros.jpg", jpeg_ + std::string(300, '\0'));  // preallocated tail
  EXPECT_EQ(Wait("a.jpg", kAtOnceOnly), velmarin::Completeness::kComplete);
  EXPECT_EQ(Wait("zeros.jpg", kAtOnceOnly), velmarin::Completeness::kComplete);
}

TEST_F(Completeness, NothingElseIsTakenBeforeItHasSettled) {
  const std::string half = jpeg_.substr(0, jpeg_.size() / 2);
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"cut.jpg", half},
           {"cut-with-marker.jpg", half + "\xFF\xD9"},
           {"trailing-data.jpg", jpeg_ + "data of the writer"},
           {"damaged.jpg", DamagedJpeg()},
           {"whole.bmp", bmp_},  // its length proves nothing
           {"empty.jpg", ""}}) {
    SCOPED_TRACE(name);
    WriteFileBytes(dir_ / name, bytes);
    SteppedCompleteness clock;
    EXPECT_EQ(Wait(name, clock.On(kAtOnceOnly)), velmarin::Completeness::kTimedOut);
    EXPECT_GE(clock.Elapsed(), kAtOnceOnly.max_wait);
  }
}

TEST_F(Completeness, FileThatStopsChangingIsFinishedWhateverItsContent) {
  for (const std::string& bytes : {std::string(), jpeg_.substr(0, 100), DamagedJpeg(), bmp_}) {
    WriteFileBytes(dir_ / "a.jpg", bytes);
    // Modified at this very moment, however long the machine takes to the first look.
    fs::last_write_time(dir_ / "a.jpg", fs::file_time_type::clock::now() + 1h);
    SteppedCompleteness clock;
    EXPECT_EQ(Wait("a.jpg", clock.On(kQuick)), velmarin::Completeness::kComplete) << bytes.size();
    EXPECT_GE(clock.Elapsed(), kQuick.settle_time);
    EXPECT_LT(clock.Elapsed(), kQuick.settle_time + 2 * kQuick.check_interval);
  }
}

TEST_F(Completeness, TimeSinceTheLastModificationCounts) {
  WriteFileBytes(dir_ / "old.bmp", bmp_);
  fs::last_write_time(dir_ / "old.bmp", fs::file_time_type::clock::now() - 10s);
  const CompletenessLimits second{1ms, 1s, 50ms};
  EXPECT_EQ(Wait("old.bmp", second), velmarin::Completeness::kComplete);
}

// Sized first, filled afterwards: the length is right from the start, the content is not.
TEST_F(Completeness, BmpSizedFirstAndFilledAfterwardsIsTakenOnlyWhenFilled) {
  const fs::path file = dir_ / "late.bmp";
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(bmp_.size())), 0);
  // Ten bytes at every look, each write stamped apart as writes 20 ms apart are.
  std::size_t pos = 0;
  const auto stamped = fs::file_time_type::clock::now();
  SteppedCompleteness clock;
  const auto writer = [&] {
    if (pos >= bmp_.size()) return;
    const std::size_t n = std::min<std::size_t>(10, bmp_.size() - pos);
    EXPECT_EQ(pwrite(fd, bmp_.data() + pos, n, static_cast<off_t>(pos)), static_cast<ssize_t>(n));
    pos += n;
    fs::last_write_time(file, stamped + static_cast<int>(pos) * 2ms);
  };
  // Settled after a few quiet looks: the writing takes many more.
  const CompletenessLimits limits{5ms, 20ms, 30s};
  EXPECT_EQ(Wait("late.bmp", clock.On(limits, writer)), velmarin::Completeness::kComplete);
  close(fd);
  EXPECT_EQ(ReadFileBytes(file), bmp_);
  EXPECT_GE(clock.Elapsed(), limits.check_interval * 10 + limits.settle_time);
}

TEST_F(Completeness, GrowingFileIsWaitedForUpToTheLimit) {
  const fs::path file = dir_ / "slow.jpg";
  WriteFileBytes(file, "");
  const auto writer = [&] { std::ofstream(file, std::ios::binary | std::ios::app).put('x'); };
  // Twice the settle time: only the writing keeps it waiting that long.
  SteppedCompleteness clock;
  EXPECT_EQ(Wait("slow.jpg", clock.On({5ms, 500ms, 1s}, writer)),
            velmarin::Completeness::kTimedOut);
  EXPECT_GE(clock.Elapsed(), 1s);
  EXPECT_LT(clock.Elapsed(), 1s + 10ms);
}

TEST_F(Completeness, FileThatIsGoneOrRenamedAwayHasVanished) {
  EXPECT_EQ(Wait("missing.jpg", kQuick), velmarin::Completeness::kVanished);
  WriteFileBytes(dir_ / "a.jpg.AbC123", jpeg_.substr(0, 100));
  SteppedCompleteness clock;
  const auto renamer = [&] {
    if (clock.pauses() == 3) fs::rename(dir_ / "a.jpg.AbC123", dir_ / "a.jpg");
  };
  EXPECT_EQ(Wait("a.jpg.AbC123", clock.On(kWriterPauses, renamer)),
            velmarin::Completeness::kVanished);
  EXPECT_EQ(clock.pauses(), 4);
}

TEST_F(Completeness, WaitEndsAtAStopRequest) {
  WriteFileBytes(dir_ / "a.jpg", jpeg_.substr(0, 100));
  std::stop_source stop;
  stop.request_stop();
  const CompletenessLimits patient{1ms, std::chrono::hours(1), std::chrono::hours(1)};
  EXPECT_EQ(WaitUntilComplete(dir_ / "a.jpg", stop.get_token(), patient),
            velmarin::Completeness::kStopped);
}

}  // namespace
}  // namespace velmarin::test
