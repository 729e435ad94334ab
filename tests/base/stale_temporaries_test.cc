#include "base/stale_temporaries.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "base/atomic_file.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

void Age(const fs::path& path) {
  const timespec old[2] = {{1'700'000'000, 0}, {1'700'000'000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

TEST(StaleTemporaries, OnlyTheProgramsOwnOldUnlockedTemporariesGo) {
  TempDir dir;
  // Left by a killed run, old and young.
  WriteFileBytes(dir / ".cap12.velmarin-Ab12Cd", "\xFF\xD8 half a picture");
  Age(dir / ".cap12.velmarin-Ab12Cd");
  WriteFileBytes(dir / ".velmarin.velmarin-zzzzzz", "");
  Age(dir / ".velmarin.velmarin-zzzzzz");
  WriteFileBytes(dir / ".young.velmarin-Ab12Cd", "written just now, maybe on another machine");
  // Other people's files, however old.
  for (const char* name : {".cap.Ab12Cd", "cap.velmarin-Ab12Cd", ".cap.velmarin-Ab12C!",
                           ".cap.velmarin-Ab12Cde", ".velmarin-Ab12Cd", "cap12.jpg"}) {
    WriteFileBytes(dir / name, "not ours");
    Age(dir / name);
  }
  fs::create_directory(dir / ".folder.velmarin-abcdef");
  Age(dir / ".folder.velmarin-abcdef");
  fs::create_symlink(dir / "cap12.jpg", dir / ".link.velmarin-abcdef");
  Age(dir / ".link.velmarin-abcdef");

  // One being written right now, its time made old.
  AtomicFile writing(dir / "busy.jpg");
  ASSERT_TRUE(writing.created());
  std::string busy;
  for (const std::string& name : Names(dir.path())) {
    if (name.starts_with(".busy.")) busy = name;
  }
  ASSERT_TRUE(IsAtomicFileTemporaryName(busy)) << busy;
  Age(dir / busy);

  const std::set<std::string> before = Names(dir.path());
  EXPECT_EQ(RemoveStaleTemporaries(dir.path()), 2u);
  std::set<std::string> expected = before;
  expected.erase(".cap12.velmarin-Ab12Cd");
  expected.erase(".velmarin.velmarin-zzzzzz");
  EXPECT_EQ(Names(dir.path()), expected);
  EXPECT_EQ(RemoveStaleTemporaries(dir / "missing"), 0u);
}

}  // namespace
}  // namespace velmarin::test
