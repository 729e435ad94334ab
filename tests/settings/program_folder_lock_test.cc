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
  std::string error;
  {
    const auto first = ProgramFolderLock::Acquire(program, &error);
    ASSERT_TRUE(first.has_value()) << error;
    EXPECT_FALSE(ProgramFolderLock::Acquire(program, &error).has_value());
    EXPECT_NE(error.find(dir.path().string() + " is in use"), std::string::npos) << error;
    EXPECT_NE(error.find("(process " + std::to_string(getpid()) + ")"), std::string::npos) << error;
    EXPECT_EQ(ProgramFolderLock::Holder(program), getpid());

    // Another process is refused as well, and another folder is free.
    const pid_t child = fork();
    if (child == 0) {
      std::string child_error;
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
  EXPECT_TRUE(ProgramFolderLock::Acquire(program, &error).has_value()) << error;
}

TEST(ProgramFolderLock, AFolderNeverLockedHasNoHolderAndGetsNoLockFile) {
  TempDir dir;
  EXPECT_EQ(ProgramFolderLock::Holder({dir.path(), Cp932Text(dir.path().string())}), std::nullopt);
  EXPECT_TRUE(FolderEntries(dir.path()).empty());
}

TEST(ProgramFolderLock, MissingFolderIsReported) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(ProgramFolderLock::Acquire({dir / "gone", "gone"}, &error).has_value());
  EXPECT_NE(error.find("cannot lock the program folder"), std::string::npos) << error;
}

}  // namespace
}  // namespace velmarin::test
