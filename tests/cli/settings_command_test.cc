#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/encoding.h"
#include "settings/program_folder_lock.h"
#include "settings/settings.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SettingsCommands : public ProgramTest {
 protected:
  ProgramResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", dir.path().string()});
    return RunProgram(args, {"DISPLAY="});
  }
  std::string Line(SettingSlot slot, const std::string& utf8_value) {
    return std::string(SettingLabel(slot)) + Utf8ToCp932(utf8_value).value().bytes() + "\r\n";
  }
};

TEST_F(SettingsCommands, SetThenSettingsRoundTripsJapaneseValues) {
  const ProgramResult set = Run({"--set", "WatchFolder=/srv/監視フォルダ", "--set",
                                 "TextFont=ＭＳ ゴシック", "--set", "KeyCode=0D"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  const std::string ini = ReadFileBytes(dir / "velmarin.ini");
  EXPECT_NE(ini.find(Line(SettingSlot::WatchFolder, "/srv/監視フォルダ")), std::string::npos);
  EXPECT_NE(ini.find(Line(SettingSlot::TextFont, "ＭＳ ゴシック")), std::string::npos);
  EXPECT_NE(ini.find(Line(SettingSlot::KeyCode, "0D")), std::string::npos);
  EXPECT_NE(ini.find(Line(SettingSlot::TransferFolder, dir.path().string() + "/hozon")),
            std::string::npos)
      << "the other slots keep their defaults";

  const ProgramResult shown = Run({"--settings"});
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(shown.err, "");
  EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')), "SwitchDevice=NONE");
  for (const char* line : {"\nWatchFolder=/srv/監視フォルダ\n", "\nTextFont=ＭＳ ゴシック\n",
                           "\nKeyCode=0D\n", "\nEvacuateAtStartup=0\n"}) {
    EXPECT_NE(shown.out.find(line), std::string::npos) << line << shown.out;
  }
  EXPECT_EQ(CountLines(shown.out), 19);
}

TEST_F(SettingsCommands, SettingsOfAMissingFileShowsTheDefaultsAndWritesNothing) {
  std::string error;
  const auto program_dir = MakeProgramDir(dir.path(), &error);
  ASSERT_TRUE(program_dir) << error;
  // Another program runs on the folder: reading needs no lock.
  OwnMessage lock_error;
  const auto lock = ProgramFolderLock::Acquire(*program_dir, &lock_error);
  ASSERT_TRUE(lock) << lock_error.english;
  const ProgramResult shown = Run({"--settings"});
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(shown.err, "");
  EXPECT_NE(shown.out.find("\nTransferFolder=" + dir.path().string() + "/hozon\n"),
            std::string::npos)
      << shown.out;
  EXPECT_EQ(CountLines(shown.out), 19);
  EXPECT_FALSE(fs::exists(dir / "velmarin.ini"));
}

// Not an assignment is a usage error (2); a value refused is refused as the dialogs refuse it
// (1). Either way nothing is written.
TEST_F(SettingsCommands, ARefusedAssignmentWritesNothing) {
  WriteFileBytes(dir / "velmarin.ini", "Key Event:q\r\n");
  const std::vector<std::pair<std::string, int>> refused = {
      {"NoSuchSlot=1", 2},     {"KeyCode", 2},
      {"TextFont=😀", 1},       {"TextLines=" + std::string(500, 'x'), 1},
      {"NameFormat=a\nb", 1},  {"NameFormat=" + std::string(100, 'n'), 1},
      {"TextColor=GGGGGG", 1}, {"TextBackColor=FFFFF", 1},
      {"NameFormat=", 1},      {"JpegQuality=100", 1},
      {"JpegQuality=abc", 1},  {"KeyCode=0D0", 1},
  };
  for (const auto& [assignment, status] : refused) {
    SCOPED_TRACE(assignment);
    const ProgramResult result = Run({"--set", "KeyCode=w", "--set", assignment});
    EXPECT_EQ(result.exit_code, status);
    EXPECT_EQ(result.err.rfind("velmarin: --set ", 0), 0u) << result.err;
    EXPECT_EQ(ReadFileBytes(dir / "velmarin.ini"), "Key Event:q\r\n");
  }
  // 499 bytes fit; a Japanese character counts two.
  EXPECT_EQ(Run({"--set", "TextLines=" + std::string(499, 'x')}).exit_code, 0);
  EXPECT_EQ(Run({"--set", "TextLines=" + std::string(497, 'x') + "字"}).exit_code, 0);
  EXPECT_EQ(Run({"--set", "TextLines=" + std::string(498, 'x') + "字"}).exit_code, 1);
  EXPECT_EQ(Run({"--set", "JpegQuality=99"}).exit_code, 0);
}

// A file an editor re-saved in UTF-8: every value written is read back, and the file stays
// UTF-8.
TEST_F(SettingsCommands, Utf8FileTakesChangesThatAreReadBack) {
  WriteFileBytes(dir / "velmarin.ini",
                 "監視フォルダ:/srv/watch\r\n転送画像のJpg画質(1-100):95\r\nKey Event:q\r\n");
  const ProgramResult set = Run({"--set", "JpegQuality=80"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  EXPECT_EQ(ReadFileBytes(dir / "velmarin.ini"),
            "監視フォルダ:/srv/watch\r\n転送画像のJpg画質(1-100):80\r\nKey Event:q\r\n");
  const ProgramResult shown = Run({"--settings"});
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(shown.err, "");
  for (const char* line : {"\nWatchFolder=/srv/watch\n", "\nJpegQuality=80\n", "\nKeyCode=q\n"}) {
    EXPECT_NE(shown.out.find(line), std::string::npos) << line << shown.out;
  }
}

TEST_F(SettingsCommands, UnreadableFileIsNeitherReplacedNorSet) {
  fs::create_directory(dir / "velmarin.ini");
  const ProgramResult result = Run({"--set", "KeyCode=q"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("nothing written"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::is_directory(dir / "velmarin.ini"));
}

TEST_F(SettingsCommands, ASecondInstanceOnTheFolderIsRefused) {
  TempDir logs;
  BackgroundProgram monitor({"--headless", "--dir", dir.path().string()}, logs.path(),
                            {"DISPLAY="});
  ASSERT_TRUE(monitor.WaitForErr("監視中", 30s));
  for (const char* command : {"--headless", "--set"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args{command};
    if (std::string(command) == "--set") args.push_back("KeyCode=q");
    const ProgramResult second = Run(args);
    EXPECT_EQ(second.exit_code, 1);
    EXPECT_NE(second.err.find(dir.path().string() + " is in use by another velmarin"),
              std::string::npos)
        << second.err;
  }
  EXPECT_EQ(Run({"--settings"}).exit_code, 0) << "reading needs no lock";
  EXPECT_EQ(monitor.Stop(SIGTERM), 0) << monitor.err();
  EXPECT_EQ(Run({"--set", "KeyCode=q"}).exit_code, 0);
}

}  // namespace
}  // namespace velmarin::test
