#include "app/window_placement.h"

#include <gtest/gtest.h>

#include "settings/user_config.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

// The place shares the user's file with the input setting: each keeps the other readable.
TEST(PlacementStore, SharesTheUsersFileWithTheInputSetting) {
  TempDir dir;
  const auto file = dir / "velmarin.conf";
  WriteFileBytes(file, "# how key strokes are sent\ninput = uinput\n");
  const app::PlacementStore store(QString::fromStdString(file.string()));
  EXPECT_TRUE(store.Load().isEmpty());

  // Bytes a text file could trip on: a NUL, "#", "=", brackets and line ends.
  static const char kBytes[] = "\x01\xD9\xD0\xCB\x00\x03#=[]\n\r";
  const QByteArray geometry(kBytes, sizeof kBytes - 1);
  store.Save(geometry);
  EXPECT_EQ(store.Load(), geometry);
  const UserConfig config = ReadUserConfig(file);
  EXPECT_EQ(config.input, InputBackendSetting::kUinput);
  EXPECT_TRUE(config.problems.empty()) << config.problems[0].english;
}

}  // namespace
}  // namespace velmarin::test
