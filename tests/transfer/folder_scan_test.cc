#include "transfer/folder_scan.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

TEST(FolderFromSlot, RefusesAnEmptySlotAndConvertsTheRest) {
  const ProgramDir program{"/opt/velmarin", Cp932Text("/opt/velmarin")};
  Cp932Text error;
  EXPECT_FALSE(FolderFromSlot(Cp932Text(""), program, &error).has_value());
  EXPECT_EQ(error, "folder not set! ");
  EXPECT_FALSE(
      FolderFromSlot(Cp932Text("/data/\x81"), program, &error).has_value());  // lone lead byte
  EXPECT_EQ(error, "folder name error! ");
  // "画像" in code page 932.
  EXPECT_EQ(FolderFromSlot(Cp932Text("/data/\x89\xe6\x91\x9c"), program, &error),
            fs::path("/data/\xe7\x94\xbb\xe5\x83\x8f"));
  EXPECT_EQ(FolderFromSlot(Cp932Text("capture"), program, &error),
            fs::path("/opt/velmarin/capture"));
}

}  // namespace
}  // namespace velmarin::test
