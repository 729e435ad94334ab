#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

using OneShotCommands = ProgramTest;

TEST_F(OneShotCommands, TransferTakesOneBmpOverAsTheMonitorWould) {
  fs::create_directories(dir / "in");
  WriteFileBytes(dir / "in" / "shot.bmp", BmpBytes(322, 240, 3));
  const ProgramResult result =
      RunProgram({"--dir", dir.path(), "--id", "77", "--transfer", (dir / "in" / "shot.bmp")});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const fs::path target = result.out.substr(0, result.out.size() - 1);
  EXPECT_EQ(target.parent_path().parent_path(), dir / "hozon");
  EXPECT_EQ(target.filename().string().substr(0, 7), "000077_");
  const auto picture = DecodeJpegFile(target);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width(), 320);  // cut to a multiple of four
  EXPECT_EQ(picture->height(), 240);
  EXPECT_FALSE(fs::exists(dir / "bkup" / "temp.jpg"));  // converted in memory
  EXPECT_FALSE(fs::exists(dir / "bkup" / "444.jpg"));
  EXPECT_TRUE(fs::exists(dir / "in" / "shot.bmp"));  // the source is never removed
}

TEST_F(OneShotCommands, TransferOfAFileThatIsNoPictureFails) {
  WriteFileBytes(dir / "notes.jpg", "not a picture");
  const ProgramResult result = RunProgram({"--dir", dir.path(), "--transfer", dir / "notes.jpg"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("JPEG read error!"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(dir / "hozon" / "notes.jpg"));
}

TEST_F(OneShotCommands, SwitchDeviceListEndsWithNoneAndUsbIo) {
  const ProgramResult result = RunProgram({"--list-switch-devices"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string tail = "NONE\nUSB-IO\n";
  ASSERT_GE(result.out.size(), tail.size());
  EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail);
}

}  // namespace
}  // namespace velmarin::test
