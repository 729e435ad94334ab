#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

using StandardOutput = ProgramTest;

// Runs the program with its standard output on /dev/full, where every write fails.
ProgramResult RunIntoFullDevice(std::vector<std::string> args) {
  args.insert(args.begin(), {"-c", "exec \"$@\" >/dev/full", "sh", ProgramBinary()});
  return RunExecutable("sh", args, {"DISPLAY="});
}

TEST_F(StandardOutput, OutputThatCannotBeWrittenFailsTheCommand) {
  WriteFileBytes(dir / "shot.bmp", BmpBytes(64, 48, 3));
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"--help"},
        {"--dir", dir.path().string(), "--settings"},
        {"--dir", dir.path().string(), "--transfer", (dir / "shot.bmp").string()}}) {
    SCOPED_TRACE(command.back());
    const ProgramResult result = RunIntoFullDevice(command);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("velmarin: cannot write to standard output: "), std::string::npos)
        << result.err;
  }
}

}  // namespace
}  // namespace velmarin::test
