#include "app/window_placement.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

QString Name(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

// Bytes a text file could trip on: a NUL, "#", "=", brackets and line ends.
const QByteArray kGeometry("\x01\xD9\xD0\xCB\x00\x03#=[]\n\r", 12);

TEST(PlacementStore, KeepsThePlaceInItsOwnFileAndNeverWritesTheUsersFile) {
  TempDir dir;
  const auto users_file = dir / "velmarin.conf";
  const std::string users_text = "# how key strokes are sent\ninput = uinput\n";
  WriteFileBytes(users_file, users_text);
  const auto state_file = dir / "state" / "velmarin" / "window.ini";
  const app::PlacementStore store(Name(state_file), Name(users_file));
  EXPECT_TRUE(store.Load().isEmpty());

  store.Save(kGeometry);
  EXPECT_EQ(store.Load(), kGeometry);
  EXPECT_TRUE(std::filesystem::exists(state_file));
  EXPECT_EQ(ReadFileBytes(users_file), users_text);
}

TEST(PlacementStore, APlaceAnEarlierVersionKeptInTheUsersFileIsReadUntilOneIsSaved) {
  TempDir dir;
  const auto users_file = dir / "velmarin.conf";
  app::PlacementStore(Name(users_file)).Save(kGeometry);  // as an earlier version wrote it
  const std::string users_text = ReadFileBytes(users_file);
  const app::PlacementStore store(Name(dir / "window.ini"), Name(users_file));
  EXPECT_EQ(store.Load(), kGeometry);

  const QByteArray moved("moved");
  store.Save(moved);
  EXPECT_EQ(store.Load(), moved);
  EXPECT_EQ(ReadFileBytes(users_file), users_text);
}

}  // namespace
}  // namespace velmarin::test
