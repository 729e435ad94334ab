#include "settings/program_folder_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

TEST(ProgramFolderLock, OneHolderPerFolderNamedInTheRefusal) {
  TempDir dir;
  const ProgramDir program{dir.path(), Cp932Text(dir.path().string())};
  OwnMessage error;
  {
    const auto first = ProgramFolderLock::Acquire(program, &error);
    ASSERT_TRUE(first.has_value()) << error.english;
    EXPECT_FALSE(ProgramFolderLock::Acquire(program, &error).has_value());
    EXPECT_NE(error.english.find(dir.path().string() + " is in use"), std::string::npos)
        << error.english;
    EXPECT_NE(error.english.find("(process " + std::to_string(getpid()) + ")"), std::string::npos)
        << error.english;
    // The window's box says the same in Japanese.
    EXPECT_NE(error.japanese.find(dir.path().string() + " は別の velmarin（プロセス " +
                                  std::to_string(getpid()) + "）が使っています"),
              std::string::npos)
        << error.japanese;
    EXPECT_EQ(ProgramFolderLock::Holder(program), getpid());

    // Another process is refused as well, and another folder is free.
    const pid_t child = fork();
    if (child == 0) {
      OwnMessage child_error;
      _exit(ProgramFolderLock::Acquire(program, &child_error) ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    TempDir other;
    EXPECT_TRUE(
        ProgramFolderLock::Acquire({other.path(), Cp932Text(other.path().string())}, &error));
  }
  // Released with its holder; asking for the holder leaves the lock free.
  EXPECT_EQ(ProgramFolderLock::Holder(program), std::nullopt);
  EXPECT_TRUE(ProgramFolderLock::Acquire(program, &error).has_value()) << error.english;
}

TEST(ProgramFolderLock, AFolderNeverLockedHasNoHolderAndGetsNoLockFile) {
  TempDir dir;
  EXPECT_EQ(ProgramFolderLock::Holder({dir.path(), Cp932Text(dir.path().string())}), std::nullopt);
  EXPECT_TRUE(FolderEntries(dir.path()).empty());
}

TEST(ProgramFolderLock, MissingFolderIsReported) {
  TempDir dir;
  OwnMessage error;
  EXPECT_FALSE(ProgramFolderLock::Acquire({dir / "gone", "gone"}, &error).has_value());
  EXPECT_NE(error.english.find("cannot lock the program folder"), std::string::npos)
      << error.english;
}

}  // namespace
}  // namespace velmarin::test
