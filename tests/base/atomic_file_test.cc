#include "base/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/unique_fd.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

class AtomicFileTest : public ::testing::TestWithParam<FileSync> {};

TEST_P(AtomicFileTest, CommitReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  WriteFileBytes(dir / "out.jpg", "old");
  {
    AtomicFile file(dir / "out.jpg");
    ASSERT_TRUE(file.created());
    ASSERT_TRUE(WriteAll(file.fd(), "new contents"));
    EXPECT_EQ(ReadFileBytes(dir / "out.jpg"), "old");  // untouched until the commit
    EXPECT_EQ(file.Commit(GetParam()), AtomicFile::Step::kNone);
  }
  EXPECT_EQ(ReadFileBytes(dir / "out.jpg"), "new contents");
  EXPECT_EQ(test::FolderEntries(dir.path()), std::vector<std::string>{"out.jpg"});
}

TEST_P(AtomicFileTest, StreamWritesGoThroughTheCommit) {
  TempDir dir;
  {
    AtomicFile file(dir / "out.jpg");
    std::FILE* stream = file.Stream();
    ASSERT_NE(stream, nullptr);
    std::fputs("streamed", stream);
    EXPECT_EQ(file.Commit(GetParam()), AtomicFile::Step::kNone);
  }
  EXPECT_EQ(ReadFileBytes(dir / "out.jpg"), "streamed");
}

// Megabytes, streamed and written in pieces of odd sizes across the chunks whose write to
// the disk starts early, arrive whole and in order.
TEST_P(AtomicFileTest, ALargeFileArrivesWhole) {
  TempDir dir;
  std::string expected;
  {
    AtomicFile file(dir / "out.jpg");
    std::FILE* stream = file.Stream();
    ASSERT_NE(stream, nullptr);
    for (int i = 0; expected.size() < (5u << 20); ++i) {
      const std::string piece(static_cast<std::size_t>(4093 + i % 7 * 70001), static_cast<char>(i));
      ASSERT_EQ(std::fwrite(piece.data(), 1, piece.size(), stream), piece.size());
      expected += piece;
    }
    ASSERT_EQ(file.Commit(GetParam()), AtomicFile::Step::kNone);
    AtomicFile copy(dir / "copy.jpg");
    ASSERT_TRUE(copy.Write(expected.substr(0, 3u << 20)));
    ASSERT_TRUE(copy.Write(expected.substr(3u << 20)));
    ASSERT_EQ(copy.Commit(GetParam()), AtomicFile::Step::kNone);
  }
  EXPECT_TRUE(ReadFileBytes(dir / "out.jpg") == expected);
  EXPECT_TRUE(ReadFileBytes(dir / "copy.jpg") == expected);
}

INSTANTIATE_TEST_SUITE_P(SyncAndNoSync, AtomicFileTest,
                         ::testing::Values(FileSync::kSynced, FileSync::kNotSynced));

TEST(AtomicFile, WithoutCommitTheTargetStaysAndTheTemporaryGoes) {
  TempDir dir;
  WriteFileBytes(dir / "velmarin.ini", "old");
  {
    AtomicFile file(dir / "velmarin.ini");
    ASSERT_TRUE(WriteAll(file.fd(), "half"));
    // The temporary lies beside the target, hidden and without the target's suffix.
    const std::vector<std::string> names = test::FolderEntries(dir.path());
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& name : names) {
      if (name == "velmarin.ini") continue;
      EXPECT_EQ(name.rfind(".velmarin.", 0), 0u) << name;
      EXPECT_EQ(name.find(".ini"), std::string::npos) << name;
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / "velmarin.ini"), "old");
  EXPECT_EQ(test::FolderEntries(dir.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST(AtomicFile, AFolderInTheWayFailsTheRenameAndRemovesTheTemporary) {
  TempDir dir;
  std::filesystem::create_directories(dir / "out.jpg" / "inside");
  AtomicFile file(dir / "out.jpg");
  ASSERT_TRUE(WriteAll(file.fd(), "data"));
  EXPECT_EQ(file.Commit(FileSync::kSynced), AtomicFile::Step::kRename);
  EXPECT_NE(errno, 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "out.jpg" / "inside"));
  EXPECT_EQ(test::FolderEntries(dir.path()), std::vector<std::string>{"out.jpg"});
}

TEST(AtomicFile, MissingFolderOrEmptyNameIsNotCreated) {
  TempDir dir;
  EXPECT_FALSE(AtomicFile(dir / "missing" / "out.jpg").created());
  EXPECT_FALSE(AtomicFile(dir.path() / "").created());
}

TEST(AtomicFile, NewFilesGetThePermissionsOfAPlainNewFile) {
  TempDir dir;
  const mode_t old_mask = umask(027);
  {
    AtomicFile file(dir / "out.jpg");
    EXPECT_EQ(file.Commit(FileSync::kNotSynced), AtomicFile::Step::kNone);
  }
  umask(old_mask);
  struct stat info {};
  ASSERT_EQ(stat((dir / "out.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(AtomicFile, ANameNearTheLengthLimitStillGetsATemporary) {
  TempDir dir;
  const std::string name = std::string(250, 'n') + ".jpg";
  AtomicFile file(dir / name);
  ASSERT_TRUE(file.created());
  EXPECT_EQ(file.Commit(FileSync::kNotSynced), AtomicFile::Step::kNone);
  EXPECT_TRUE(std::filesystem::exists(dir / name));
}

// A name in a folder held open, as the transfer folder is held while an image goes into it.
class NameInHeldFolder final : public FileNaming {
 public:
  NameInHeldFolder(const std::filesystem::path& folder, std::string name)
      : folder_(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
        shown_(folder / name),
        name_(std::move(name)) {}
  const std::filesystem::path& name() const override { return shown_; }
  AtPath location() const override { return {folder_.get(), name_}; }
  std::string_view temporary_mark() const override { return "st4t10n"; }
  bool Place(const AtPath& temporary) override {
    return ClaimName(temporary, location()) == ClaimResult::kClaimed;
  }

 private:
  UniqueFd folder_;
  std::filesystem::path shown_;
  std::string name_;
};

// A share that drops leaves another folder at its path: the file still goes into the folder
// that was held, and none appears at the path.
TEST(AtomicFile, FileInAHeldFolderGoesThereWhateverItsPathLeadsToMeanwhile) {
  TempDir dir;
  std::filesystem::create_directory(dir / "share");
  NameInHeldFolder name(dir / "share", "out.jpg");
  AtomicFile file(name);
  ASSERT_TRUE(file.created());
  const std::vector<std::string> made = test::FolderEntries(dir / "share");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_TRUE(IsOwnTemporaryName(made[0], "st4t10n")) << made[0];
  EXPECT_FALSE(IsOwnTemporaryName(made[0], "st4t10")) << made[0];
  std::filesystem::rename(dir / "share", dir / "unmounted");
  std::filesystem::create_directory(dir / "share");
  ASSERT_TRUE(WriteAll(file.fd(), "picture"));
  EXPECT_EQ(file.Commit(FileSync::kSynced), AtomicFile::Step::kNone);
  EXPECT_EQ(ReadFileBytes(dir / "unmounted" / "out.jpg"), "picture");
  EXPECT_EQ(test::FolderEntries(dir / "unmounted"), std::vector<std::string>{"out.jpg"});
  EXPECT_TRUE(test::FolderEntries(dir / "share").empty());
}

TEST(AtomicFile, NewMarksAreMarksAndNoneLeadsOutOfTheFolder) {
  EXPECT_TRUE(IsTemporaryMark(NewTemporaryMark()));
  EXPECT_NE(NewTemporaryMark(), NewTemporaryMark());
  EXPECT_TRUE(IsTemporaryMark("st4t10n"));
  for (const std::string_view mark : {"", "../up", "a/b", "a.b", "a b", "\x01"}) {
    EXPECT_FALSE(IsTemporaryMark(mark)) << mark;
  }
  EXPECT_TRUE(IsTemporaryMark(std::string(32, 'a')));
  EXPECT_FALSE(IsTemporaryMark(std::string(33, 'a')));
}

TEST(CopyFileAtomically, CopiesLargeFilesWholeAndFailsOnAMissingSource) {
  TempDir dir;
  std::string bytes(300 * 1024, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  WriteFileBytes(dir / "source.jpg", bytes);
  WriteFileBytes(dir / "target.jpg", "old");
  EXPECT_TRUE(CopyFileAtomically(dir / "source.jpg", dir / "target.jpg", FileSync::kSynced));
  EXPECT_EQ(ReadFileBytes(dir / "target.jpg"), bytes);

  EXPECT_FALSE(CopyFileAtomically(dir / "missing.jpg", dir / "target.jpg", FileSync::kSynced));
  EXPECT_EQ(ReadFileBytes(dir / "target.jpg"), bytes);
  EXPECT_EQ(test::FolderEntries(dir.path()).size(), 2u);
}

TEST(UniqueFd, ClosesOnceAndMovesOwnership) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  UniqueFd read_end(ends[0]);
  UniqueFd write_end(ends[1]);
  UniqueFd moved = std::move(write_end);
  EXPECT_FALSE(write_end.valid());
  EXPECT_FALSE(write_end.Close());
  // A write larger than the pipe holds goes out whole while the other end is read.
  const std::string bytes(256 * 1024, 'x');
  std::thread reader([&] {
    std::string got;
    char buffer[4096];
    ssize_t n;
    while ((n = read(read_end.get(), buffer, sizeof buffer)) > 0) got.append(buffer, n);
    EXPECT_EQ(got.size(), bytes.size());
  });
  EXPECT_TRUE(WriteAll(moved.get(), bytes));
  EXPECT_TRUE(moved.Close());
  reader.join();
  EXPECT_FALSE(WriteAll(-1, "x"));
}

}  // namespace
}  // namespace velmarin
