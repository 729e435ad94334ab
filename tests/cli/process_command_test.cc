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
  const fs::path source_ = dir_ / "a.jpeg";  // read as the JPEG it is, as the monitor reads it
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
  // With the system's reason.
  EXPECT_NE(stderr_.find("fopen_error! (No such file or directory)"), std::string::npos) << stderr_;
  EXPECT_EQ(Run({source_.string(), (dir_ / "no folder" / "out.jpg").string()}), 1);
  EXPECT_NE(stderr_.find("jpg_file_open_error! (No such file or directory)"), std::string::npos)
      << stderr_;
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

// A photograph-like still: noise compresses poorly, so its scan data is large.
std::string NoisyStill() {
  return test::EncodeTestJpeg(640, 480, [](int x, int y, std::uint8_t* p) {
    const unsigned v = static_cast<unsigned>(x * 7919 + y * 104729) * 2654435761u;
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
  });
}

// 4 KB of a still's scan data overwritten (a bad block, a broken copy): the picture is edited
// as far as the library decodes it, and the damage is said, as for other damage. The two bytes
// of padding some encoders leave before the end marker leave the picture whole: nothing said.
TEST_F(ProcessCommandTest, DamageInsideTheScanIsSaidAndAnEncodersPaddingIsNot) {
  std::string damaged = NoisyStill();
  const std::size_t scan = damaged.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  ASSERT_GT(damaged.size(), scan + 3 * 4096);
  std::uint32_t noise = 12345;
  for (std::size_t i = scan + 4096; i < scan + 2 * 4096; ++i) {
    noise = noise * 1103515245u + 12345u;
    const auto byte = static_cast<char>(noise >> 24);
    damaged[i] = byte == '\xFF' ? '\x7F' : byte;  // no marker among them
  }
  test::WriteFileBytes(source_, damaged);
  EXPECT_EQ(Run({source_.string(), target_.string()}), 0) << stderr_;
  // The library's only warning for it, which used to be kept silent.
  EXPECT_NE(stderr_.find(" extraneous bytes before marker 0xd9"), std::string::npos) << stderr_;
  EXPECT_NE(stderr_.find(source_.string()), std::string::npos) << stderr_;
  EXPECT_TRUE(test::DecodeJpegFile(target_));

  const std::string still = NoisyStill();
  const std::size_t end = still.rfind("\xFF\xD9");
  test::WriteFileBytes(source_, still.substr(0, end) + std::string(2, '\0') + still.substr(end));
  EXPECT_EQ(Run({source_.string(), target_.string()}), 0);
  EXPECT_EQ(stderr_, "");
}

TEST_F(ProcessCommandTest, UsageErrors) {
  EXPECT_EQ(Run({source_.string(), target_.string()}, "12345678901"), 2);
  EXPECT_EQ(Run({source_.string()}), 2);
  EXPECT_FALSE(fs::exists(target_));
}

}  // namespace
}  // namespace velmarin::cli
