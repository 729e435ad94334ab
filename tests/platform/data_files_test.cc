#include "platform/data_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

TEST(DataFiles, EnvironmentFolderFirstThenTheSourceTree) {
  TempDir dir;
  WriteFileBytes(dir / "chimes.wav", "RIFF");
  ASSERT_EQ(setenv("VELMARIN_DATA_DIR", dir.path().c_str(), 1), 0);
  EXPECT_EQ(FindDataFile("chimes.wav"), dir / "chimes.wav");
  EXPECT_EQ(FindDataFile("missing.wav"), std::nullopt);

  // A test binary is not installed: the data comes from the source tree.
  ASSERT_EQ(unsetenv("VELMARIN_DATA_DIR"), 0);
  const auto chime = FindDataFile("chimes.wav");
  ASSERT_TRUE(chime.has_value());
  EXPECT_EQ(chime->parent_path().filename(), "media");
}

}  // namespace
}  // namespace velmarin::test
