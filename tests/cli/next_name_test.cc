#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "naming/local_time.h"
#include "naming/serial_memo_file.h"
#include "platform/encoding.h"
#include "settings/settings.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

using NextNameCommand = ProgramTest;

std::string ExpectedName(const fs::path& dir, const std::string& id, int serial) {
  const LocalTime now = LocalTimeNow();
  char name[64];
  std::snprintf(name, sizeof name, "%04d/%s_%04d%02d%02d_%03d.jpg", now.year, id.c_str(), now.year,
                now.month, now.day, serial);
  return (dir / "hozon" / name).string();
}

TEST_F(NextNameCommand, FirstRunInAnEmptyFolderWritesTheDefaultsAndNamesSerialOne) {
  const ProgramResult result = RunProgram({"--dir", dir.path(), "--id", "123", "--next-name"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, ExpectedName(dir.path(), "000123", 1) + "\n");
  // A question only: no folder is made for the name.
  EXPECT_FALSE(fs::exists(dir / "hozon"));

  // 19 lines of label and value in code page 932, each ended by CR LF.
  const std::string ini = ReadFileBytes(dir / "velmarin.ini");
  std::size_t lines = 0;
  for (std::size_t pos = 0; (pos = ini.find("\r\n", pos)) != std::string::npos; pos += 2) ++lines;
  EXPECT_EQ(lines, 19u);
  EXPECT_EQ(ini.substr(ini.size() - 2), "\r\n");
  const std::string dir_text = dir.path().string();
  EXPECT_NE(ini.find(std::string(SettingLabel(SettingSlot::WatchFolder)) + dir_text + "\r\n"),
            std::string::npos);
  EXPECT_NE(
      ini.find(std::string(SettingLabel(SettingSlot::TransferFolder)) + dir_text + "/hozon\r\n"),
      std::string::npos);
  EXPECT_EQ(ini.rfind(std::string(SettingLabel(SettingSlot::SwitchDevice)) + "NONE\r\n", 0), 0u);
}

TEST_F(NextNameCommand, TakesTheSerialBehindTheHighestPresent) {
  const fs::path first = ExpectedName(dir.path(), "000123", 1);
  fs::create_directories(first.parent_path());
  for (int serial = 1; serial <= 5; ++serial) {
    WriteFileBytes(ExpectedName(dir.path(), "000123", serial), "x");
  }
  const ProgramResult result = RunProgram({"--dir", dir.path(), "--id", "123", "--next-name"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, ExpectedName(dir.path(), "000123", 6) + "\n");
}

// A folder left alone since the last run is not listed again: the cache of the last search
// says where to start, and a folder changed by another program since is listed again.
TEST_F(NextNameCommand, ARunAfterAnotherStartsWhereItEndedWhileTheFolderIsUnchanged) {
  const std::vector<std::string> env = {"XDG_CACHE_HOME=" + (dir / "cache").string()};
  const fs::path folder = fs::path(ExpectedName(dir.path(), "000123", 1)).parent_path();
  fs::create_directories(folder);
  for (int serial = 1; serial <= 200; ++serial) {
    WriteFileBytes(ExpectedName(dir.path(), "000123", serial), "x");
  }
  // Long enough ago that no later change can leave the folder's times as they are.
  fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::minutes(5));
  for (int run = 0; run < 2; ++run) {
    const ProgramResult result =
        RunProgram({"--dir", dir.path(), "--id", "123", "--next-name"}, env);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, ExpectedName(dir.path(), "000123", 201) + "\n");
  }
  const auto saved = ReadSerialStarts(dir / "cache" / "velmarin" / "serials", 8);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].start, 201);
  EXPECT_EQ(saved[0].stamp, StampOfFolder(folder));

  for (int serial = 1; serial <= 60; ++serial)
    fs::remove(ExpectedName(dir.path(), "000123", serial));
  const ProgramResult result = RunProgram({"--dir", dir.path(), "--id", "123", "--next-name"}, env);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, ExpectedName(dir.path(), "000123", 1) + "\n");
}

TEST_F(NextNameCommand, ARelativeTransferFolderLiesInTheProgramFolder) {
  const std::string label(SettingLabel(SettingSlot::TransferFolder));
  WriteFileBytes(dir / "velmarin.ini", label + "out\r\n");
  const ProgramResult result = RunProgram({"--dir", dir.path(), "--id", "1", "--next-name"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.rfind((dir / "out").string() + "/", 0), 0u) << result.out;
}

TEST_F(NextNameCommand, UserFolderIsMadeInTheHomeFolderOnFirstStart) {
  fs::create_directory(dir / "home");
  const std::vector<std::string> env = {"HOME=" + (dir / "home").string()};
  const fs::path folder = dir / "home" / "Velmarin";
  for (int run = 0; run < 2; ++run) {
    const ProgramResult result = RunProgram({"--user-folder", "--id", "1", "--next-name"}, env);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, ExpectedName(folder, "000001", 1) + "\n");
    EXPECT_TRUE(fs::is_regular_file(folder / "velmarin.ini"));
  }
  const ProgramResult homeless =
      RunProgram({"--user-folder", "--next-name"}, {"HOME=" + (dir / "missing").string()});
  EXPECT_EQ(homeless.exit_code, 1);
  EXPECT_NE(homeless.err.find("cannot make the program folder"), std::string::npos) << homeless.err;
}

TEST_F(NextNameCommand, EmptyIdGivesZero) {
  const ProgramResult result = RunProgram({"--dir", dir.path(), "--id", "", "--next-name"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, ExpectedName(dir.path(), "000000", 1) + "\n");
}

TEST_F(NextNameCommand, UsageErrorsAndFailuresHaveTheirExitCodes) {
  EXPECT_EQ(RunProgram({"--dir", dir.path(), "--id", "12345678901", "--next-name"}).exit_code, 2);
  // Six kanji are twelve bytes: the message must not claim more than ten characters.
  const ProgramResult kanji =
      RunProgram({"--dir", dir.path(), "--id", "撮影撮影撮影", "--next-name"});
  EXPECT_EQ(kanji.exit_code, 2);
  EXPECT_NE(kanji.err.find("longer than 10 bytes"), std::string::npos) << kanji.err;
  EXPECT_EQ(RunProgram({"--dir", dir.path(), "--id", "撮影撮影撮", "--next-name"}).exit_code, 0);
  EXPECT_EQ(RunProgram({"--next-name", "--bogus"}).exit_code, 2);
  EXPECT_EQ(RunProgram({"--id"}).exit_code, 2);
  const ProgramResult missing = RunProgram({"--dir", dir / "missing", "--next-name"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(NextNameCommand, HelpAndVersion) {
  const ProgramResult help = RunProgram({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--headless"), std::string::npos);
  const ProgramResult version = RunProgram({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("velmarin ", 0), 0u);
  EXPECT_NE(version.out.find("\nchime: /"), std::string::npos) << version.out;
}

}  // namespace
}  // namespace velmarin::test
