#include "settings/program_dir.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace velmarin {
namespace {

TEST(MakeProgramDir, KeepsTheFolderInBothForms) {
  std::string error;
  const auto dir = MakeProgramDir("/tmp/station/../station/", &error);
  ASSERT_TRUE(dir) << error;
  EXPECT_EQ(dir->path, "/tmp/station");
  EXPECT_EQ(dir->cp932, "/tmp/station");
  const auto japanese = MakeProgramDir("/tmp/撮影", &error);
  ASSERT_TRUE(japanese) << error;
  EXPECT_EQ(japanese->cp932, "/tmp/\x8e\x42\x89\x65");
}

TEST(MakeProgramDir, RefusesWhatTheSettingsCannotHold) {
  std::string error;
  EXPECT_FALSE(MakeProgramDir("/tmp/\xf0\x9f\x98\x80", &error));  // an emoji
  EXPECT_NE(error.find("code page 932"), std::string::npos);
  // A yen sign would be stored as a backslash, which names another folder.
  EXPECT_FALSE(MakeProgramDir("/tmp/a\u00A5b", &error));
  EXPECT_TRUE(MakeProgramDir("/" + std::string(492, 'a'), &error));
  EXPECT_FALSE(MakeProgramDir("/" + std::string(493, 'a'), &error));
  EXPECT_NE(error.find("longer than 493 bytes"), std::string::npos);
}

TEST(UserProgramFolder, LiesInTheHomeFolderOfTheEnvironmentElseOfThePasswordDatabase) {
  const char* saved = getenv("HOME");
  const std::string saved_home = saved ? saved : "";
  ASSERT_EQ(setenv("HOME", "/srv/station", 1), 0);
  EXPECT_EQ(UserProgramFolder(), "/srv/station/Velmarin");
  ASSERT_EQ(unsetenv("HOME"), 0);
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(UserProgramFolder(), std::filesystem::path(entry->pw_dir) / "Velmarin");
  if (saved) setenv("HOME", saved_home.c_str(), 1);
}

TEST(FolderInProgramDir, RelativeFoldersLieInTheProgramFolder) {
  const ProgramDir dir{"/srv/station", Cp932Text("/srv/station")};
  EXPECT_EQ(FolderInProgramDir(dir, Cp932Text("hozon")), "/srv/station/hozon");
  EXPECT_EQ(FolderInProgramDir(dir, Cp932Text("/data/out")), "/data/out");
  EXPECT_EQ(FolderInProgramDir(dir, Cp932Text("")), "");
  const ProgramDir root{"/", Cp932Text("/")};
  EXPECT_EQ(FolderInProgramDir(root, Cp932Text("hozon")), "/hozon");
}

TEST(FolderFromSlot, RefusesAnEmptySlotAndConvertsTheRest) {
  const ProgramDir program{"/opt/velmarin", Cp932Text("/opt/velmarin")};
  std::string error;
  EXPECT_FALSE(FolderFromSlot(Cp932Text(""), program, &error).has_value());
  EXPECT_EQ(error, "folder not set! ");
  EXPECT_FALSE(
      FolderFromSlot(Cp932Text("/data/\x81"), program, &error).has_value());  // lone lead byte
  EXPECT_EQ(error, "folder name error! ");
  // "画像" in code page 932.
  EXPECT_EQ(FolderFromSlot(Cp932Text("/data/\x89\xe6\x91\x9c"), program, &error),
            std::filesystem::path("/data/\xe7\x94\xbb\xe5\x83\x8f"));
  EXPECT_EQ(FolderFromSlot(Cp932Text("capture"), program, &error),
            std::filesystem::path("/opt/velmarin/capture"));
}

}  // namespace
}  // namespace velmarin
