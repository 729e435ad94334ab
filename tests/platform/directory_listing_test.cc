#include "platform/directory_listing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

const DirectoryEntry* Find(const std::vector<DirectoryEntry>& entries, const std::string& name) {
  const auto it = std::ranges::find(entries, name, &DirectoryEntry::name);
  return it == entries.end() ? nullptr : &*it;
}

TEST(ListDirectory, TellsRegularFilesFromEverythingElse) {
  TempDir dir;
  WriteFileBytes(dir / "file.jpg", "12345");
  fs::create_directory(dir / "folder.jpg");
  ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
  fs::create_symlink(dir / "file.jpg", dir / "link.jpg");
  fs::create_symlink(dir / "gone", dir / "dangling.jpg");

  const auto entries = ListDirectory(dir.path());
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 5u);  // "." and ".." are left out
  ASSERT_NE(Find(*entries, "file.jpg"), nullptr);
  EXPECT_TRUE(Find(*entries, "file.jpg")->regular_file);
  EXPECT_EQ(Find(*entries, "file.jpg")->size, 5u);
  EXPECT_GT(Find(*entries, "file.jpg")->creation_time_ns, 0);
  EXPECT_TRUE(Find(*entries, "link.jpg")->regular_file);
  EXPECT_FALSE(Find(*entries, "folder.jpg")->regular_file);
  EXPECT_FALSE(Find(*entries, "fifo.jpg")->regular_file);
  EXPECT_FALSE(Find(*entries, "dangling.jpg")->regular_file);
}

// One entry is queried as the listing queries each: its inode tells a new file under an old
// name, and a link made to a file already whole shows as one.
TEST(QueryDirectoryEntry, GivesTheIdentityOfOneEntry) {
  TempDir dir;
  WriteFileBytes(dir / "a.jpg", "1");
  fs::create_hard_link(dir / "a.jpg", dir / "hard.jpg");
  fs::create_symlink(dir / "a.jpg", dir / "soft.jpg");
  struct stat info {};
  ASSERT_EQ(stat((dir / "a.jpg").c_str(), &info), 0);

  const auto entry = QueryDirectoryEntry(dir.path(), "a.jpg");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->inode, info.st_ino);
  EXPECT_EQ(entry->link_count, 2u);
  EXPECT_FALSE(entry->symbolic_link);
  EXPECT_TRUE(QueryDirectoryEntry(dir.path(), "soft.jpg")->symbolic_link);
  EXPECT_FALSE(QueryDirectoryEntry(dir.path(), "missing.jpg").has_value());

  fs::remove(dir / "a.jpg");
  WriteFileBytes(dir / "b.jpg", "2");
  fs::rename(dir / "b.jpg", dir / "a.jpg");
  EXPECT_NE(QueryDirectoryEntry(dir.path(), "a.jpg")->inode, info.st_ino);
}

TEST(ListDirectory, KeepsNameBytesAsTheyAre) {
  TempDir dir;
  const std::string name = "\x89\xe6\x91\x9c.jpg";  // code page 932 bytes, not UTF-8
  WriteFileBytes(dir / name, "x");
  const auto entries = ListDirectory(dir.path());
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].name, name);
}

TEST(ListDirectory, MissingFolderIsNotListable) {
  TempDir dir;
  EXPECT_FALSE(ListDirectory(dir / "missing").has_value());
  WriteFileBytes(dir / "plain", "x");
  EXPECT_FALSE(ListDirectory(dir / "plain").has_value());
}

}  // namespace
}  // namespace velmarin::test
