#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: the suite may share the machine with other builds.
constexpr auto kLimit = 30s;

class HeadlessMonitoring : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
    fs::create_directories(program);
    // Images present at start-up are never taken over.
    WriteFileBytes(program / "old.jpg", JpegBytes(64, 48, 9));
    monitor = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"--headless", "--dir", program.string(), "--id", "123456"},
        logs.path(), std::vector<std::string>{"DISPLAY="});
    // The stills present are known once the program says it watches the folder.
    ASSERT_TRUE(monitor->WaitForErr("watching " + program.string(), kLimit));
  }

  // The path of the n-th transfer line, once it appeared.
  fs::path WaitForTransfer(int n) {
    const bool arrived = WaitFor([&] { return CountLines(monitor->out()) >= n; }, kLimit);
    EXPECT_TRUE(arrived) << "out: " << monitor->out() << "\nerr: " << monitor->err();
    if (!arrived) return {};
    std::string out = monitor->out();
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) start = out.find('\n', start) + 1;
    const std::string line = out.substr(start, out.find('\n', start) - start);
    EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(n));
    return line.substr(line.find('\t') + 1);
  }

  TempDir logs;
  TempDir root;
  fs::path program = root / "station";
  std::unique_ptr<BackgroundProgram> monitor;
};

void ExpectTransferredPicture(const fs::path& target, int width, int height) {
  const auto picture = DecodeJpegFile(target);
  ASSERT_TRUE(picture) << target;
  EXPECT_EQ(picture->width(), width);
  EXPECT_EQ(picture->height(), height);
  // The right band is filled with the default background 646464.
  const std::uint8_t* pixel = picture->row(height / 2) + (width - 5) * 3;
  for (int channel = 0; channel < 3; ++channel) EXPECT_NEAR(pixel[channel], 0x64, 6);
}

TEST_F(HeadlessMonitoring, TakesOverNewImagesAndKeepsAnEditOfTheSettingsOnSigterm) {
  const std::string ini_at_start = ReadFileBytes(program / "velmarin.ini");
  ASSERT_FALSE(ini_at_start.empty());

  WriteFileBytes(program / "capture1.jpg", JpegBytes(640, 480, 1));
  const fs::path first = WaitForTransfer(1);
  EXPECT_EQ(first.parent_path().parent_path(), program / "hozon");
  EXPECT_EQ(first.filename().string().substr(0, 7), "123456_");
  EXPECT_EQ(first.filename().string().substr(15), "_001.jpg");
  ExpectTransferredPicture(first, 640, 480);

  WriteFileBytes(program / "capture2.bmp", BmpBytes(322, 240, 2));
  const fs::path second = WaitForTransfer(2);
  EXPECT_EQ(second.filename().string().substr(15), "_002.jpg");
  ExpectTransferredPicture(second, 320, 240);

  // The file edited while running: nothing was changed in this run, so the edit stays.
  WriteFileBytes(program / "velmarin.ini", "Key Event:X\r\n");
  EXPECT_EQ(monitor->Stop(SIGTERM), 0) << monitor->err();
  EXPECT_EQ(ReadFileBytes(program / "velmarin.ini"), "Key Event:X\r\n");
  EXPECT_FALSE(fs::exists(program / "hozon" / "old.jpg"));
  EXPECT_EQ(CountLines(monitor->out()), 2);
}

// 20 captures in bursts (several saved at once, some through a temporary name), with stills
// deleted between the bursts as a bad shot is thrown away: every capture arrives, once.
TEST_F(HeadlessMonitoring, EveryCaptureOfBurstsWithDeletionsArrivesOnce) {
  const std::vector<int> bursts = {3, 1, 5, 2, 4, 5};
  int saved = 0;
  for (const int size : bursts) {
    for (int i = 0; i < size; ++i) {
      const std::string name = "cap" + std::to_string(++saved) + ".jpg";
      if (saved % 2 == 0) {
        WriteFileBytes(program / name, JpegBytes(64, 48, saved));
      } else {
        WriteFileBytes(program / (name + ".part"), JpegBytes(64, 48, saved));
        fs::rename(program / (name + ".part"), program / name);
      }
    }
    // The burst has arrived: then the oldest capture so far is thrown away.
    const fs::path last = WaitForTransfer(saved);
    EXPECT_FALSE(last.empty());
    fs::remove(program / ("cap" + std::to_string(saved - size + 1) + ".jpg"));
    std::error_code gone_already;
    fs::remove(program / "old.jpg", gone_already);
  }
  EXPECT_EQ(monitor->Stop(SIGTERM), 0) << monitor->err();
  // Each line names its own target, and each target holds one capture.
  EXPECT_EQ(CountLines(monitor->out()), 20) << monitor->out();
  std::vector<std::string> pictures;
  for (const auto& entry : fs::recursive_directory_iterator(program / "hozon")) {
    if (entry.is_regular_file()) pictures.push_back(ReadFileBytes(entry.path()));
  }
  std::sort(pictures.begin(), pictures.end());
  EXPECT_EQ(pictures.size(), 20u);
  EXPECT_EQ(std::adjacent_find(pictures.begin(), pictures.end()), pictures.end());
  EXPECT_EQ(monitor->err().find("error"), std::string::npos) << monitor->err();
}

// Writes `bytes` into `path` in `pieces` pieces over `write_time`.
void WriteSlowly(const fs::path& path, const std::string& bytes, int pieces,
                 std::chrono::milliseconds write_time) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const std::size_t chunk = bytes.size() / pieces + 1;
  for (std::size_t pos = 0; pos < bytes.size(); pos += chunk) {
    std::fwrite(bytes.data() + pos, 1, std::min(chunk, bytes.size() - pos), file);
    std::fflush(file);
    std::this_thread::sleep_for(write_time / pieces);
  }
  std::fclose(file);
}

TEST_F(HeadlessMonitoring, ASlowlyWrittenImageArrivesComplete) {
  WriteSlowly(program / "slow.jpg", JpegBytes(640, 480, 5), 10, 2s);
  const fs::path target = WaitForTransfer(1);
  ExpectTransferredPicture(target, 640, 480);
  EXPECT_EQ(monitor->err().find("error"), std::string::npos) << monitor->err();
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
}

// Captures saved the way many Linux programs save: into a temporary name, over a while, then
// renamed into place.
TEST_F(HeadlessMonitoring, CapturesSavedThroughATemporaryNameAllArrive) {
  int n = 0;
  for (const auto write_time : {50ms, 400ms}) {
    for (const std::string suffix : {".AbC123", ".part"}) {  // QSaveFile and GLib style; wget style
      const std::string name = "cap" + std::to_string(++n) + ".jpg";
      WriteSlowly(program / (name + suffix), JpegBytes(320, 240, n), 5, write_time);
      fs::rename(program / (name + suffix), program / name);
      const fs::path target = WaitForTransfer(n);
      ExpectTransferredPicture(target, 320, 240);
    }
  }
  // A stop finishes whatever had arrived, so the lines are complete once it has ended.
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
  EXPECT_EQ(CountLines(monitor->out()), n);
  EXPECT_EQ(monitor->err().find("vanished"), std::string::npos) << monitor->err();
}

// A file closed unfinished is tried and fails, named (at the latest when the run ends, as its
// writer might have come back to it); the captures after it arrive.
TEST_F(HeadlessMonitoring, FilesThatNeverCompleteCostNoLaterCapture) {
  const std::string bytes = JpegBytes(640, 480, 6);
  WriteFileBytes(program / "cut.jpg", bytes.substr(0, bytes.size() / 2));
  for (int i = 1; i <= 3; ++i) {
    WriteFileBytes(program / ("good" + std::to_string(i) + ".jpg"), JpegBytes(64, 48, i));
  }
  EXPECT_TRUE(WaitFor([&] { return CountLines(monitor->out()) >= 3; }, kLimit));
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
  // The count counts the stills that went out: the two failed files are not among them.
  const std::string out = monitor->out();
  EXPECT_EQ(CountLines(out), 3) << out;
  EXPECT_EQ(out.substr(0, 2), "1\t") << out;
  EXPECT_NE(out.find("\n3\t"), std::string::npos) << out;
  const std::string err = monitor->err();
  EXPECT_NE(err.find("Premature end of JPEG file"), std::string::npos) << err;
  EXPECT_NE(err.find("JPEG read error!"), std::string::npos) << err;
  EXPECT_NE(err.find("fopen_error! "), std::string::npos) << err;
  // Each failure names its image.
  EXPECT_NE(err.find("velmarin: " + (program / "cut.jpg").string() + ": "), std::string::npos)
      << err;
}

// A finished JPEG with damage inside is converted as it is, once, its warning printed once.
TEST_F(HeadlessMonitoring, CompleteJpegWithDamageInsideIsTransferredOnce) {
  std::string bytes = JpegBytes(320, 240, 7);
  const std::size_t scan = bytes.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  // The scan data stops early, but the file ends with its end marker.
  const std::string damaged = bytes.substr(0, scan + (bytes.size() - scan) / 2) + "\xFF\xD9";
  WriteFileBytes(program / "damaged.jpg", damaged);
  const fs::path target = WaitForTransfer(1);
  ExpectTransferredPicture(target, 320, 240);
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
  EXPECT_EQ(CountLines(monitor->out()), 1);
  const std::string err = monitor->err();
  const std::string warning = "Corrupt JPEG data: premature end of data segment";
  ASSERT_NE(err.find(warning), std::string::npos) << err;
  EXPECT_EQ(err.find(warning), err.rfind(warning)) << err;
}

// Starts a headless run on `dir` until it is monitoring, then stops it; its standard error.
std::string StartAndStop(const fs::path& dir) {
  TempDir logs;
  BackgroundProgram monitor({"--headless", "--dir", dir.string()}, logs.path(), {"DISPLAY="});
  EXPECT_TRUE(monitor.WaitForErr("監視中", kLimit));
  EXPECT_EQ(monitor.Stop(SIGTERM), 0);
  return monitor.err();
}

// A capture program that reuses its names leaves an image of the same name at each start:
// every one of them is kept in "bkup".
using HeadlessEvacuation = ProgramTest;
TEST_F(HeadlessEvacuation, ImagesOfTheSameNameFromTwoStartsAreBothKept) {
  WriteFileBytes(dir / "velmarin.ini",
                 std::string(SettingLabel(SettingSlot::EvacuateAtStartup)) + "1\r\n");
  WriteFileBytes(dir / "cap001.jpg", "first start");
  StartAndStop(dir.path());
  WriteFileBytes(dir / "cap001.jpg", "second start");
  const std::string err = StartAndStop(dir.path());
  EXPECT_EQ(ReadFileBytes(dir / "bkup" / "cap001.jpg"), "first start");
  EXPECT_EQ(ReadFileBytes(dir / "bkup" / "cap001_1.jpg"), "second start");
  EXPECT_FALSE(fs::exists(dir / "cap001.jpg"));
  EXPECT_EQ(err.find("not evacuated"), std::string::npos) << err;
}

// Targets in the watch folder would be taken again as new captures until the disk is full.
using HeadlessWatchFolder = ProgramTest;
TEST_F(HeadlessWatchFolder, TransferFolderEqualToTheWatchFolderIsRefused) {
  TempDir logs;
  // The default template puts a year folder in between; this one does not.
  WriteFileBytes(dir / "velmarin.ini",
                 std::string(SettingLabel(SettingSlot::TransferFolder)) + dir.path().string() +
                     "\r\n" + std::string(SettingLabel(SettingSlot::NameFormat)) + "$i06_$r03\r\n");
  BackgroundProgram monitor({"--headless", "--dir", dir.path().string()}, logs.path(),
                            {"DISPLAY="});
  ASSERT_TRUE(monitor.WaitForErr("watching", kLimit));
  WriteFileBytes(dir / "shot.jpg", JpegBytes(64, 48, 8));
  EXPECT_TRUE(monitor.WaitForErr("transfer target in watch folder! ", kLimit));
  EXPECT_EQ(monitor.Stop(SIGTERM), 0);
  EXPECT_EQ(CountLines(monitor.out()), 0);
  std::vector<std::string> jpegs;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().extension() == ".jpg") jpegs.push_back(entry.path().filename());
  }
  EXPECT_EQ(jpegs, std::vector<std::string>{"shot.jpg"});
}

TEST_F(HeadlessMonitoring, SecondSignalEndsTheWaitAtOnceAndLeavesTheImage) {
  // An image that keeps growing holds the folder thread for as long as it grows; the writer's
  // pace only has to stay within the wait for a quiet file.
  std::atomic<bool> done{false};
  std::promise<void> first_bytes;
  std::thread writer([&] {
    std::FILE* file = std::fopen((program / "grow.jpg").c_str(), "wb");
    for (int i = 0; i < 100 && !done; ++i) {
      std::fputs("more bytes", file);
      std::fflush(file);
      if (i == 0) first_bytes.set_value();
      std::this_thread::sleep_for(100ms);
    }
    std::fclose(file);
  });
  // Arrived before the stop, so the stop finishes it: the folder thread is then held by it.
  first_bytes.get_future().wait();
  monitor->Signal(SIGTERM);
  EXPECT_TRUE(monitor->WaitForErr("finishing grow.jpg", kLimit));
  const auto second = std::chrono::steady_clock::now();
  EXPECT_EQ(monitor->Stop(SIGINT), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - second, 2s);
  done = true;
  writer.join();
  EXPECT_NE(monitor->err().find("grow.jpg: not finished; it stays in the watch folder"),
            std::string::npos)
      << monitor->err();
  EXPECT_TRUE(fs::exists(program / "grow.jpg"));
  EXPECT_EQ(CountLines(monitor->out()), 0);
}

// A switch device that cannot be opened is reported, and monitoring goes on without it.
TEST(HeadlessSwitchDevice, MissingBoardOrPortIsReportedAndMonitoringGoesOn) {
  if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  const std::string label(SettingLabel(SettingSlot::SwitchDevice));
  for (const std::string& device : {std::string("USB-IO"), std::string("/dev/velmarin-no-port")}) {
    SCOPED_TRACE(device);
    TempDir dir;
    TempDir logs;
    WriteFileBytes(dir / "velmarin.ini", label + device + "\r\n");
    BackgroundProgram monitor({"--headless", "--dir", dir.path().string()}, logs.path(),
                              {"DISPLAY="});
    ASSERT_TRUE(monitor.WaitForErr(device + "スイッチエラー 監視中", kLimit));
    if (device[0] == '/') {
      EXPECT_NE(monitor.err().find(device + " is not available"), std::string::npos);
    } else {
      EXPECT_EQ(monitor.err().find("not available"), std::string::npos) << monitor.err();
    }
    ASSERT_TRUE(monitor.WaitForErr("watching", kLimit));
    WriteFileBytes(dir / "shot.jpg", JpegBytes(64, 48, 6));
    EXPECT_TRUE(WaitFor([&] { return CountLines(monitor.out()) == 1; }, kLimit)) << monitor.err();
    EXPECT_EQ(monitor.Stop(SIGTERM), 0);
  }
}

}  // namespace
}  // namespace velmarin::test
