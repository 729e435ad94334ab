#include "transfer/folder_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/directory_listing.h"
#include "support/temp_dir.h"
#include "transfer/folder_fakes.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

DirectoryEntry Entry(std::string name, std::int64_t time, bool regular = true) {
  return {std::move(name), regular, 1, time};
}

TEST(ImageFileName, IsASubstringTestOfFourExactSpellings) {
  for (const char* name : {"a.jpg", "A.JPG", "b.bmp", "B.BMP", "a.jpg.txt", "x.BMP.old"}) {
    EXPECT_TRUE(IsImageFileName(name)) << name;
  }
  for (const char* name : {"a.Jpg", "a.jpeg", "a.Bmp", "jpg", "a_jpg", ""}) {
    EXPECT_FALSE(IsImageFileName(name)) << name;
  }
}

TEST(SummarizeImages, CountsImagesAndPicksTheNewestByCreationTime) {
  const auto result = SummarizeImages(
      {Entry("a.jpg", 30), Entry("notes.txt", 99), Entry("b.bmp", 50), Entry("c.jpg", 40)});
  EXPECT_EQ(result.count, 3);
  EXPECT_EQ(result.newest, "b.bmp");
}

TEST(SummarizeImages, OfEqualTimesTheFirstListedStays) {
  const auto result = SummarizeImages({Entry("x.jpg", 7), Entry("y.jpg", 7), Entry("z.jpg", 5)});
  EXPECT_EQ(result.newest, "x.jpg");
}

TEST(SummarizeImages, FirstImageIsNewestEvenWithoutATime) {
  const auto result = SummarizeImages({Entry("zero.jpg", 0), Entry("also-zero.jpg", 0)});
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.newest, "zero.jpg");
}

TEST(SummarizeImages, EntriesThatAreNotRegularFilesDoNotCount) {
  const auto result = SummarizeImages({Entry("dir.jpg", 90, false), Entry("a.jpg", 10)});
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(result.newest, "a.jpg");
  EXPECT_EQ(SummarizeImages({}).newest, "");
}

TEST(ScanWatchFolder, ReadsTheFolderAndCountsAMissingOneAsEmpty) {
  TempDir dir;
  WriteNewFile(dir / "older.jpg", "1");
  WriteNewFile(dir / "newer.BMP", "2");
  WriteNewFile(dir / "other.png", "3");
  ASSERT_EQ(mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  const auto result = ScanWatchFolder(dir.path());
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.newest, "newer.BMP");

  const auto missing = ScanWatchFolder(dir / "missing");
  EXPECT_EQ(missing.count, 0);
  EXPECT_EQ(missing.newest, "");
}

TEST(FolderFromSlot, RefusesAnEmptySlotAndConvertsTheRest) {
  const ProgramDir program{"/opt/velmarin", "/opt/velmarin"};
  std::string error;
  EXPECT_FALSE(FolderFromSlot("", program, &error).has_value());
  EXPECT_EQ(error, "folder not set! ");
  EXPECT_FALSE(FolderFromSlot("/data/\x81", program, &error).has_value());  // lone lead byte
  EXPECT_EQ(error, "folder name error! ");
  // "画像" in code page 932.
  EXPECT_EQ(FolderFromSlot("/data/\x89\xe6\x91\x9c", program, &error),
            fs::path("/data/\xe7\x94\xbb\xe5\x83\x8f"));
  EXPECT_EQ(FolderFromSlot("capture", program, &error), fs::path("/opt/velmarin/capture"));
}

}  // namespace
}  // namespace velmarin::test
