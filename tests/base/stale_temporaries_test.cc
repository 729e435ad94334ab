#include "base/stale_temporaries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

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
  for (const std::string& name : FolderEntries(dir.path())) {
    if (name.starts_with(".busy.")) busy = name;
  }
  ASSERT_TRUE(IsAtomicFileTemporaryName(busy)) << busy;
  Age(dir / busy);

  std::vector<std::string> expected = FolderEntries(dir.path());
  EXPECT_EQ(RemoveStaleTemporaries(dir.path()), 2u);
  std::erase(expected, ".cap12.velmarin-Ab12Cd");
  std::erase(expected, ".velmarin.velmarin-zzzzzz");
  EXPECT_EQ(FolderEntries(dir.path()), expected);
  EXPECT_EQ(RemoveStaleTemporaries(dir / "missing"), 0u);
}

// A station knows its own temporaries by its mark: their writer is gone when it starts, so
// they go at once; another station's, young ones or unmarked ones, keep the minute.
TEST(StaleTemporaries, ThisStationsOwnGoWhateverTheirAge) {
  TempDir dir;
  WriteFileBytes(dir / ".123456_001.st4t10n.velmarin-Ab12Cd", "killed a moment ago");
  for (const char* name : {".123456_002.0th3r.velmarin-Ab12Cd", ".123456_003.velmarin-Ab12Cd",
                           ".123456_004xst4t10n.velmarin-Ab12Cd", ".st4t10n.velmarin-Ab12Cd"}) {
    WriteFileBytes(dir / name, "young, another station's");
  }
  std::vector<std::string> expected = FolderEntries(dir.path());
  std::erase(expected, ".123456_001.st4t10n.velmarin-Ab12Cd");
  EXPECT_EQ(RemoveStaleTemporaries(dir.path(), kStaleTemporaryAge, "st4t10n"), 1u);
  EXPECT_EQ(FolderEntries(dir.path()), expected);
}

}  // namespace
}  // namespace velmarin::test
