#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

// Last: Qt's "slots" keyword would clash with the settings record's slots.
#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 30s;
constexpr int kStills = 3;

// The program's lines of `text` (each starts with "velmarin: ") that are not the ones a quiet
// run prints, its status and the folder it watches: every failure and warning it said.
std::vector<std::string> UnexpectedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = text.substr(start, end - start);
    if (!line.starts_with("velmarin: ") || line.starts_with("velmarin: watching ") ||
        line.starts_with("velmarin: the session bus cannot be reached") ||
        line.find("監視中") != std::string::npos) {
      continue;
    }
    lines.push_back(line);
  }
  return lines;
}

// A headless station whose watch folder is written by a program no one here wrote, as a
// capture program would: every still arrives exactly once and nothing is said but the usual.
class RealWriter : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    monitor_ = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"--headless", "--dir", dir.path().string(), "--id", "1"},
        logs_.path(), std::vector<std::string>{"DISPLAY="});
    ASSERT_TRUE(monitor_->WaitForErr("watching " + dir.path().string(), kLimit));
  }
  // Runs a writer installed with the system; skips the test where it is missing.
  bool Run(const std::vector<std::string>& command) {
    if (!fs::exists(command[0])) {
      missing_ = command[0];
      return false;
    }
    const ProgramResult result = RunExecutable(command[0], {command.begin() + 1, command.end()});
    EXPECT_EQ(result.exit_code, 0) << command[0] << ": " << result.err;
    return true;
  }
  // Every still the writer made arrived once, and nothing else was said.
  void ExpectEveryStillOnce() {
    const bool arrived = WaitFor([&] { return CountLines(monitor_->out()) >= kStills; }, kLimit);
    EXPECT_TRUE(arrived) << "out: " << monitor_->out() << "\nerr: " << monitor_->err();
    EXPECT_EQ(monitor_->Stop(SIGTERM), 0);
    EXPECT_EQ(CountLines(monitor_->out()), kStills) << monitor_->out();
    EXPECT_EQ(UnexpectedLines(monitor_->err()), std::vector<std::string>{}) << monitor_->err();
    const fs::path first = monitor_->out().substr(2, monitor_->out().find('\n') - 2);
    EXPECT_TRUE(DecodeJpegFile(first)) << first;
  }
  // Whole stills to copy in.
  fs::path Staged() {
    for (int i = 1; i <= kStills; ++i) {
      WriteFileBytes(staging_ / ("staged" + std::to_string(i) + ".jpg"), JpegBytes(320, 240, i));
    }
    return staging_.path();
  }

  TempDir logs_;
  TempDir staging_;
  std::unique_ptr<BackgroundProgram> monitor_;
  std::string missing_;
};

TEST_F(RealWriter, ImageMagickConvert) {
  for (int i = 1; i <= kStills; ++i) {
    if (!Run({"/usr/bin/convert", "-size", "320x240", "gradient:blue-yellow", "-quality", "90",
              (dir / ("magick" + std::to_string(i) + ".jpg")).string()})) {
      GTEST_SKIP() << missing_ << " is not installed";
    }
  }
  ExpectEveryStillOnce();
}

TEST_F(RealWriter, GStreamerMultifilesink) {
  if (!Run({"/usr/bin/gst-launch-1.0", "-q", "videotestsrc",
            "num-buffers=" + std::to_string(kStills), "!",
            "video/x-raw,width=320,height=240,framerate=30/1", "!", "jpegenc", "!", "multifilesink",
            "location=" + (dir / "gst%05d.jpg").string()})) {
    GTEST_SKIP() << missing_ << " is not installed";
  }
  ExpectEveryStillOnce();
}

TEST_F(RealWriter, FfmpegImage2) {
  if (!Run({"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
            "testsrc=size=320x240:rate=30", "-frames:v", std::to_string(kStills),
            (dir / "ffmpeg%03d.jpg").string()})) {
    GTEST_SKIP() << missing_ << " is not installed";
  }
  ExpectEveryStillOnce();
}

TEST_F(RealWriter, Cp) {
  std::vector<std::string> command = {"/usr/bin/cp"};
  for (const auto& entry : fs::directory_iterator(Staged())) command.push_back(entry.path());
  command.push_back(dir.path().string());
  if (!Run(command)) GTEST_SKIP() << missing_ << " is not installed";
  ExpectEveryStillOnce();
}

TEST_F(RealWriter, Rsync) {
  if (!Run({"/usr/bin/rsync", "-a", Staged().string() + "/", dir.path().string() + "/"})) {
    GTEST_SKIP() << missing_ << " is not installed";
  }
  ExpectEveryStillOnce();
}

TEST_F(RealWriter, QtSaveFile) {
  for (int i = 1; i <= kStills; ++i) {
    const std::string bytes = JpegBytes(320, 240, i);
    QSaveFile file(QString::fromStdString((dir / ("qt" + std::to_string(i) + ".jpg")).string()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))),
              static_cast<qint64>(bytes.size()));
    ASSERT_TRUE(file.commit());
  }
  ExpectEveryStillOnce();
}

}  // namespace
}  // namespace velmarin::test
