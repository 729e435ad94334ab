#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 30s;
// The back-off reaches 16 s after a few failed tries; a share that returns is tried within it.
constexpr auto kRetryLimit = 90s;

// The transfer lines "COUNT<TAB>PATH" of a headless run.
std::vector<std::pair<std::string, fs::path>> TransferLines(const std::string& out) {
  std::vector<std::pair<std::string, fs::path>> lines;
  for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = out.substr(start, end - start);
    lines.emplace_back(line.substr(0, line.find('\t')), line.substr(line.find('\t') + 1));
  }
  return lines;
}

std::vector<fs::path> FilesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

// A tmpfs on `folder`; the reason when mounting is not allowed here.
std::string MountTmpfs(const fs::path& folder) {
  if (mount("velmarin-test", folder.c_str(), "tmpfs", 0, "size=16m") == 0) return {};
  return std::string("mounting a tmpfs is not allowed here: ") + std::strerror(errno);
}

// A station whose transfer folder is a share: a tmpfs mounted on "share".
class HeadlessTransferFolder : public testing::Test {
 protected:
  void SetUp() override {
    if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
    fs::create_directories(program_);
    fs::create_directories(share_);
    if (const std::string refused = MountTmpfs(share_); !refused.empty()) GTEST_SKIP() << refused;
    WriteFileBytes(
        program_ / "velmarin.ini",
        std::string(SettingLabel(SettingSlot::TransferFolder)) + share_.string() + "\r\n");
  }
  void TearDown() override { umount2(share_.c_str(), MNT_DETACH); }

  BackgroundProgram Monitor(const std::string& id, const TempDir& logs) const {
    return BackgroundProgram({"--headless", "--dir", program_.string(), "--id", id}, logs.path(),
                             {"DISPLAY="});
  }

  TempDir root_;
  TempDir logs_;
  const fs::path program_ = root_ / "station";
  const fs::path share_ = root_ / "share";
};

// The share holding the transfer folder drops while three captures are made: nothing is
// written onto the bare mount point, and once it is mounted again the three arrive in order,
// with the serial numbers 001 to 003.
TEST_F(HeadlessTransferFolder, ShareThatDropsDuringThreeCapturesGetsThemAllInOrderWhenBack) {
  const fs::path& program = program_;
  const fs::path& share = share_;
  BackgroundProgram monitor = Monitor("123456", logs_);
  ASSERT_TRUE(monitor.WaitForErr("watching " + program.string(), kLimit));

  ASSERT_EQ(umount2(share.c_str(), 0), 0) << std::strerror(errno);
  // Widths tell the captures apart after their edit.
  WriteFileBytes(program / "capture1.jpg", JpegBytes(640, 480, 1));
  ASSERT_TRUE(monitor.WaitForErr("transfer folder not available: " + share.string(), kLimit));
  WriteFileBytes(program / "capture2.jpg", JpegBytes(648, 480, 2));
  ASSERT_TRUE(monitor.WaitForErr("2 stills waiting", kLimit));
  WriteFileBytes(program / "capture3.jpg", JpegBytes(656, 480, 3));
  ASSERT_TRUE(monitor.WaitForErr("3 stills waiting", kLimit));
  EXPECT_TRUE(fs::is_empty(share)) << "written onto the bare mount point";
  EXPECT_TRUE(monitor.out().empty());

  ASSERT_EQ(MountTmpfs(share), "");
  ASSERT_TRUE(monitor.WaitForErr("all waiting stills sent", kRetryLimit));
  const auto lines = TransferLines(monitor.out());
  ASSERT_EQ(lines.size(), 3u) << monitor.err();
  for (int i = 0; i < 3; ++i) {
    const auto& [count, target] = lines[static_cast<std::size_t>(i)];
    EXPECT_EQ(count, std::to_string(i + 1));
    EXPECT_EQ(target.parent_path().parent_path(), share);
    EXPECT_EQ(target.filename().string().substr(15), "_00" + std::to_string(i + 1) + ".jpg");
    const auto picture = DecodeJpegFile(target);
    ASSERT_TRUE(picture) << target;
    EXPECT_EQ(picture->width(), 640 + 8 * i);
  }
  EXPECT_EQ(monitor.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(program / "velmarin.journal"));
}

// Runs the program with ID 4711 on a new program folder `program`, with the test hold
// `variable`, until the still it is given is held there (`held` said), and kills it.
void KillWhileAStillIsHeld(const fs::path& program, const std::string& variable,
                           const std::string& held) {
  TempDir logs;
  fs::create_directories(program);
  BackgroundProgram monitor({"--headless", "--dir", program.string(), "--id", "4711"}, logs.path(),
                            {"DISPLAY=", variable + "=" + (logs / "never").string()});
  ASSERT_TRUE(monitor.WaitForErr("watching " + program.string(), kLimit));
  WriteFileBytes(program / "capture.jpg", JpegBytes(640, 480, 1));
  ASSERT_TRUE(monitor.WaitForErr(held, kLimit));
  EXPECT_EQ(monitor.Stop(SIGKILL), -1);
}

// Starts the program again on `program` with ID 999 and stops it once it sent a still; the
// transfer lines it printed.
std::vector<std::pair<std::string, fs::path>> RestartUntilAStillIsSent(const fs::path& program) {
  TempDir logs;
  BackgroundProgram monitor({"--headless", "--dir", program.string(), "--id", "999"}, logs.path(),
                            {"DISPLAY="});
  EXPECT_TRUE(WaitFor([&] { return !monitor.out().empty(); }, kLimit)) << monitor.err();
  EXPECT_TRUE(monitor.WaitForErr("watching " + program.string(), kLimit));
  EXPECT_EQ(monitor.Stop(SIGTERM), 0);
  return TransferLines(monitor.out());
}

// A program killed between a still's arrival and its transfer takes it at its next start,
// once, with the ID it arrived with.
TEST(HeadlessCrash, StillThatArrivedBeforeAKillArrivesOnceAfterTheRestart) {
  if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  TempDir root;
  const fs::path program = root / "station";
  ASSERT_NO_FATAL_FAILURE(
      KillWhileAStillIsHeld(program, "VELMARIN_TEST_HOLD_BEFORE_TRANSFER", "held before"));
  ASSERT_TRUE(fs::exists(program / "velmarin.journal"));
  EXPECT_FALSE(fs::exists(program / "hozon") && !FilesUnder(program / "hozon").empty());

  const auto lines = RestartUntilAStillIsSent(program);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second.filename().string().substr(0, 7), "004711_");
  EXPECT_EQ(FilesUnder(program / "hozon").size(), 1u);
  EXPECT_FALSE(fs::exists(program / "velmarin.journal"));
  EXPECT_TRUE(fs::exists(program / "capture.jpg"));
}

// A program killed after a still's image took its name, before its journal said the still
// was sent: the next start counts it as sent and sends it no second time.
TEST(HeadlessCrash, KillAfterTheClaimLeavesTheStillSentOnce) {
  if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  TempDir root;
  const fs::path program = root / "station";
  ASSERT_NO_FATAL_FAILURE(
      KillWhileAStillIsHeld(program, "VELMARIN_TEST_HOLD_AFTER_CLAIM", "held after its claim"));
  ASSERT_EQ(FilesUnder(program / "hozon").size(), 1u);
  const fs::path sent = FilesUnder(program / "hozon")[0];
  const std::string image = ReadFileBytes(sent);
  ASSERT_NE(ReadFileBytes(program / "velmarin.journal").find(sent.string()), std::string::npos);

  const auto lines = RestartUntilAStillIsSent(program);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second, sent);
  EXPECT_EQ(FilesUnder(program / "hozon"), std::vector<fs::path>{sent});
  EXPECT_EQ(ReadFileBytes(sent), image);
  EXPECT_FALSE(fs::exists(program / "velmarin.journal"));
}

// The program starts while its share is down (no line of /etc/fstab names it): the share is
// known from the run before, so the still waits instead of going onto the bare mount point,
// and goes the moment the share is mounted again.
TEST_F(HeadlessTransferFolder, StartWhileTheShareIsDownWaitsForItAndSendsOnceItIsMounted) {
  const fs::path& program = program_;
  const fs::path& share = share_;
  {
    BackgroundProgram first = Monitor("1", logs_);
    ASSERT_TRUE(first.WaitForErr("watching " + program.string(), kLimit));
    EXPECT_EQ(first.Stop(SIGTERM), 0);
  }
  ASSERT_EQ(umount2(share.c_str(), 0), 0) << std::strerror(errno);

  TempDir logs2;
  BackgroundProgram monitor = Monitor("123456", logs2);
  ASSERT_TRUE(monitor.WaitForErr("watching " + program.string(), kLimit));
  WriteFileBytes(program / "capture.jpg", JpegBytes(640, 480, 1));
  ASSERT_TRUE(monitor.WaitForErr("transfer folder not available: " + share.string(), kLimit));
  EXPECT_TRUE(fs::is_empty(share)) << "written onto the bare mount point";
  EXPECT_TRUE(monitor.out().empty());

  ASSERT_EQ(MountTmpfs(share), "");
  ASSERT_TRUE(WaitFor([&] { return !monitor.out().empty(); }, kRetryLimit)) << monitor.err();
  EXPECT_EQ(monitor.Stop(SIGTERM), 0);
  const auto lines = TransferLines(monitor.out());
  ASSERT_EQ(lines.size(), 1u) << monitor.out();
  EXPECT_EQ(FilesUnder(share), std::vector<fs::path>{lines[0].second});
}

}  // namespace
}  // namespace velmarin::test
