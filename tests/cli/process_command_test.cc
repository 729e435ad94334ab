#include "cli/process_command.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"
#include "settings/settings_file.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace velmarin::cli {
namespace {

namespace fs = std::filesystem;

constexpr test::Rgb kPicture{0xC8, 0xC8, 0xC8};

class ProcessCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteJpeg(source_, test::PaintPicture(640, 480, [](int, int) { return kPicture; }), 90);
  }

  // Runs the command in this process; returns its exit code and keeps its stderr.
  int Run(const std::vector<std::string>& files, std::optional<std::string> id = std::nullopt) {
    Options options;
    options.command = Command::kProcess;
    options.dir = dir_.path().string();
    options.id = std::move(id);
    options.files = files;
    ::testing::internal::CaptureStderr();
    const int code = RunProcessCommand(options);
    stderr_ = ::testing::internal::GetCapturedStderr();
    return code;
  }

  test::TempDir dir_;
  const fs::path source_ = dir_ / "444.jpg";
  const fs::path target_ = dir_ / "out.jpg";
  std::string stderr_;
};

TEST_F(ProcessCommandTest, WritesTheEditedPictureWithTheFolderSettings) {
  ASSERT_EQ(Run({source_.string(), target_.string()}, "123"), 0) << stderr_;
  EXPECT_TRUE(fs::exists(dir_ / "velmarin.ini"));  // made with the defaults
  const auto out = test::DecodeJpegFile(target_);
  ASSERT_TRUE(out);
  ASSERT_EQ(out->width(), 640);
  ASSERT_EQ(out->height(), 480);
  // Top-left corner: the grey band, the kept middle: the picture.
  EXPECT_TRUE(test::Near(test::PixelOf(*out, 0, 0), test::Rgb{0x64, 0x64, 0x64}, 4));
  EXPECT_TRUE(test::Near(test::PixelOf(*out, 320, 240), kPicture, 4));
}

TEST_F(ProcessCommandTest, FailureGoesToStderrWithExitCodeOne) {
  EXPECT_EQ(Run({(dir_ / "missing.jpg").string(), target_.string()}), 1);
  EXPECT_NE(stderr_.find("fopen_error! "), std::string::npos) << stderr_;
  EXPECT_EQ(Run({source_.string(), (dir_ / "no folder" / "out.jpg").string()}), 1);
  EXPECT_NE(stderr_.find("jpg_file_open_error! "), std::string::npos) << stderr_;
}

TEST_F(ProcessCommandTest, FailedCopyIsAFailureHere) {
  Settings settings = DefaultSettings(Cp932Text(dir_.path().string()));
  settings[SettingSlot::SourceRange].clear();
  settings[SettingSlot::TextLines].clear();
  test::WriteFileBytes(dir_ / "velmarin.ini", FormatSettingsFile(settings));
  fs::create_directory(dir_ / "blocked.jpg");
  EXPECT_EQ(Run({source_.string(), (dir_ / "blocked.jpg").string()}), 1);
  EXPECT_NE(stderr_.find("転送失敗! "), std::string::npos) << stderr_;
}

TEST_F(ProcessCommandTest, UsageErrors) {
  EXPECT_EQ(Run({source_.string(), target_.string()}, "12345678901"), 2);
  EXPECT_EQ(Run({source_.string()}), 2);
  EXPECT_FALSE(fs::exists(target_));
}

}  // namespace
}  // namespace velmarin::cli
