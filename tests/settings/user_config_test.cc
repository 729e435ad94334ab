#include "settings/user_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "support/unprivileged.h"

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

TEST(UserConfigTest, AFileThatCannotBeReadIsSaidWithTheSystemsReason) {
  test::TempDir dir;
  const auto file = dir / "velmarin.conf";
  test::WriteFileBytes(file, "dicom_host = pacs\n");
  std::filesystem::permissions(file, std::filesystem::perms::none);
  const std::string outcome = test::RunUnprivileged(dir.path(), [&] {
    const UserConfig config = ReadUserConfig(file);
    return config.problems.size() == 1 && !config.dicom_named ? config.problems[0].english
                                                                 : std::string("other");
  });
  EXPECT_EQ(outcome, file.string() + " cannot be read: Permission denied; its settings are not used.");
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

TEST(UserConfigTest, ADicomDestinationIsReadWithItsDefaults) {
  const UserConfig config = ParseUserConfig(
      "dicom_called_ae = ORTHANC\ndicom_host = pacs.clinic\ndicom_port = 4242\n"
      "dicom_institution = 北クリニック\n",
      "velmarin.conf");
  EXPECT_TRUE(config.problems.empty());
  ASSERT_TRUE(config.dicom);
  EXPECT_EQ(config.dicom->called_ae, "ORTHANC");
  EXPECT_EQ(config.dicom->host, "pacs.clinic");
  EXPECT_EQ(config.dicom->port, 4242);
  EXPECT_EQ(config.dicom->calling_ae, "VELMARIN");
  EXPECT_EQ(config.dicom->institution, "北クリニック");
  EXPECT_EQ(config.dicom->timeout_seconds, 30);
  EXPECT_FALSE(ParseUserConfig("input = auto\n", "velmarin.conf").dicom_named);
}

TEST(UserConfigTest, AnUnusableDicomDestinationIsNamedWithItsReasons) {
  const std::string good = "dicom_called_ae = ORTHANC\ndicom_host = pacs\ndicom_port = 104\n";
  for (const auto& [line, reason] : std::vector<std::pair<std::string, std::string>>{
           {"dicom_calling_ae = STATION-NUMBER-TWELVE", "longer than 16 characters"},
           {"dicom_calling_ae = A\\B", "backslash"},
           {"dicom_calling_ae =    ", "is empty"},
           {"dicom_port = 65536", "from 1 to 65535"},
           {"dicom_port = 0", "from 1 to 65535"},
           {"dicom_port = 10x", "from 1 to 65535"},
           {"dicom_timeout = 0", "seconds from 1 to 3600"},
       }) {
    const UserConfig config = ParseUserConfig(good + line + "\n", "velmarin.conf");
    EXPECT_TRUE(config.dicom_named);
    EXPECT_FALSE(config.dicom) << line;
    ASSERT_EQ(config.problems.size(), 1u) << line;
    EXPECT_NE(config.problems[0].english.find("velmarin.conf line 4: "), std::string::npos);
    EXPECT_NE(config.problems[0].english.find(reason), std::string::npos)
        << config.problems[0].english;
    EXPECT_NE(config.problems[0].japanese.find("velmarin.conf の 4 行目: "), std::string::npos)
        << config.problems[0].japanese;
  }
  const UserConfig missing = ParseUserConfig("dicom_host = pacs\n", "velmarin.conf");
  EXPECT_FALSE(missing.dicom);
  EXPECT_EQ(missing.problems.size(), 2u);  // no called AE title, no port
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
