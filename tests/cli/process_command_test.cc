#include "cli/process_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "image/dib.h"
#include "image/jpeg_codec.h"
#include "image/jpeg_files.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace velmarin::cli {
namespace {

namespace fs = std::filesystem;

class ProcessCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dib picture = Dib::Create(640, 480, 24).value();
    std::fill(picture.pixels(), picture.pixels() + picture.stride() * 480, std::uint8_t{0xC8});
    ASSERT_TRUE(WriteJpegFileAtomically(source_, picture, 90, false));
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
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(target_.c_str(), "rb"),
                                                             &std::fclose);
  ASSERT_NE(file, nullptr);
  const auto out = ReadJpegToDib(file.get());
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->width(), 640);
  EXPECT_EQ(out->height(), 480);
  // Top-left corner: the grey band (0x64), the kept middle: the picture (0xC8).
  const std::uint8_t* corner = out->row(479);
  EXPECT_NEAR(corner[0], 0x64, 4);
  const std::uint8_t* middle = out->row(240) + 320 * 3;
  EXPECT_NEAR(middle[0], 0xC8, 4);
}

TEST_F(ProcessCommandTest, FailureGoesToStderrWithExitCodeOne) {
  EXPECT_EQ(Run({(dir_ / "missing.jpg").string(), target_.string()}), 1);
  EXPECT_NE(stderr_.find("fopen_error! "), std::string::npos) << stderr_;
  EXPECT_EQ(Run({source_.string(), (dir_ / "no folder" / "out.jpg").string()}), 1);
  EXPECT_NE(stderr_.find("jpg_file_open_error! "), std::string::npos) << stderr_;
}

TEST_F(ProcessCommandTest, FailedCopyIsAFailureHere) {
  Settings settings = DefaultSettings(dir_.path().string());
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
