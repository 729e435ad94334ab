#include "settings/user_config.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace velmarin {
namespace {

TEST(UserConfigTest, InputBackendIsReadAndBadLinesAreNamed) {
  test::TempDir dir;
  const auto file = dir / "velmarin.conf";
  test::WriteFileBytes(file, "# how key strokes are sent\n  input = uinput  \n");
  EXPECT_EQ(ReadUserConfig(file).input, InputBackendSetting::kUinput);
  EXPECT_TRUE(ReadUserConfig(file).problems.empty());

  test::WriteFileBytes(file, "input=xtest\ninput = wayland\ncolour = red\n");
  const UserConfig config = ReadUserConfig(file);
  EXPECT_EQ(config.input, InputBackendSetting::kXTest);
  ASSERT_EQ(config.problems.size(), 2u);
  EXPECT_NE(config.problems[0].english.find("line 2"), std::string::npos);
  EXPECT_NE(config.problems[1].english.find("\"colour\""), std::string::npos);
  // The window says it in Japanese.
  EXPECT_NE(config.problems[1].japanese.find("3 行目: 設定「colour」はない"), std::string::npos)
      << config.problems[1].japanese;

  EXPECT_EQ(ReadUserConfig(dir / "missing.conf").input, InputBackendSetting::kAuto);
}

// As QSettings rewrites the file once the window has saved its place there.
TEST(UserConfigTest, TheWindowsSectionIsSkippedAndGeneralIsRead) {
  const UserConfig config = ParseUserConfig(
      "[General]\ninput=xtest\ncolour=red\n\n[Settings]\n"
      "Window=@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3#=[)\ninput=uinput\n",
      "velmarin.conf");
  EXPECT_EQ(config.input, InputBackendSetting::kXTest);
  ASSERT_EQ(config.problems.size(), 1u);
  EXPECT_NE(config.problems[0].english.find("line 3"), std::string::npos);
}

TEST(UserConfigTest, PathFollowsXdgConfigHome) {
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1), 0);
  EXPECT_EQ(UserConfigPath(), std::filesystem::path("/tmp/cfg/velmarin/velmarin.conf"));
  ASSERT_EQ(unsetenv("XDG_CONFIG_HOME"), 0);
  const char* home = std::getenv("HOME");
  const std::string saved_home = home != nullptr ? home : "";
  ASSERT_EQ(setenv("HOME", "/home/station", 1), 0);
  EXPECT_EQ(UserConfigPath(),
            std::filesystem::path("/home/station/.config/velmarin/velmarin.conf"));
  setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
}  // namespace velmarin
