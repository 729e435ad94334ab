#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings/settings_file.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kStations = 4;
constexpr int kRounds = 12;
// Generous: the suite may share the machine with other builds.
constexpr auto kLimit = 60s;

// One headless program with its own program and watch folder.
struct Station {
  TempDir logs;
  fs::path program;
  std::unique_ptr<BackgroundProgram> monitor;
};

// The paths of the "COUNT<TAB>PATH" lines printed so far.
std::vector<fs::path> TransferLines(const std::string& out) {
  std::vector<fs::path> paths;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = out.substr(start, end - start);
    paths.emplace_back(line.substr(line.find('\t') + 1));
  }
  return paths;
}

// Each station's pictures have their own width, so a file shows which station made it.
int StationWidth(int station) { return 640 - 16 * station; }

// Several stations with one ID and one template share one transfer folder, and every one of
// them gets a capture at the same moment, again and again: each capture must arrive under a
// name of its own, and the line of each station must name its own picture.
using SharedTransferFolder = ProgramTest;
TEST_F(SharedTransferFolder, EveryCaptureOfEveryStationArrivesUnderItsOwnName) {
  // The share is there before the stations start; no station ever makes it.
  const fs::path shared = dir / "shared";
  fs::create_directories(shared);
  std::vector<std::unique_ptr<Station>> stations;
  for (int s = 0; s < kStations; ++s) {
    auto station = std::make_unique<Station>();
    station->program = dir / ("station" + std::to_string(s));
    fs::create_directories(station->program);
    Settings settings = DefaultSettings(Cp932Text(station->program.string()));
    settings[SettingSlot::TransferFolder] = Cp932Text(shared.string());
    // The year folder is created by all stations at once with the first capture.
    settings[SettingSlot::NameFormat] = Cp932Text("$y\\$i06_$r03");
    WriteFileBytes(station->program / "velmarin.ini", FormatSettingsFile(settings));
    station->monitor = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"--headless", "--dir", station->program.string(), "--id", "4711"},
        station->logs.path(), std::vector<std::string>{"DISPLAY="});
    stations.push_back(std::move(station));
  }
  // Each folder thread has looked at its folder once it says so.
  for (const auto& station : stations)
    ASSERT_TRUE(station->monitor->WaitForErr("watching", kLimit));

  // Each round waits for every station's line before the next capture, as a capture program
  // waits for its operator; a station is never more than one capture behind.
  for (int round = 1; round <= kRounds; ++round) {
    // Written under names that are no images, then renamed within microseconds.
    const std::string name = "capture" + std::to_string(round);
    for (int s = 0; s < kStations; ++s) {
      WriteFileBytes(stations[s]->program / (name + ".part"),
                     JpegBytes(StationWidth(s), 480, round * kStations + s));
    }
    for (const auto& station : stations) {
      fs::rename(station->program / (name + ".part"), station->program / (name + ".jpg"));
    }
    for (const auto& station : stations) {
      ASSERT_TRUE(WaitFor(
          [&] { return static_cast<int>(TransferLines(station->monitor->out()).size()) >= round; },
          kLimit))
          << "round " << round << "\nerr: " << station->monitor->err();
    }
  }

  std::set<fs::path> reported;
  for (int s = 0; s < kStations; ++s) {
    EXPECT_EQ(stations[s]->monitor->Stop(SIGTERM), 0) << stations[s]->monitor->err();
    const std::vector<fs::path> lines = TransferLines(stations[s]->monitor->out());
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kRounds));
    for (const fs::path& path : lines) {
      reported.insert(path);
      const auto picture = DecodeJpegFile(path);
      ASSERT_TRUE(picture) << path;
      EXPECT_EQ(picture->width(), StationWidth(s)) << path;
    }
  }
  std::set<fs::path> files;
  int others = 0;
  for (const auto& entry : fs::recursive_directory_iterator(shared)) {
    if (entry.is_directory()) continue;
    const std::string file_name = entry.path().filename().string();
    if (file_name.front() != '.' && entry.path().extension() == ".jpg") {
      files.insert(entry.path());
    } else {
      ++others;  // a temporary left behind
    }
  }
  EXPECT_EQ(reported.size(), static_cast<std::size_t>(kStations * kRounds));
  EXPECT_EQ(files, reported);
  EXPECT_EQ(others, 0);
  std::printf("captures %d, files %zu, distinct reported names %zu\n", kStations * kRounds,
              files.size(), reported.size());
}

}  // namespace
}  // namespace velmarin::test
