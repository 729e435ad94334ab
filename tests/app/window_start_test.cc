#include <gtest/gtest.h>

#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

TEST(WindowStart, WithoutAReachableDisplayTheProgramSaysSoAndFails) {
  TempDir dir;
  for (const char* display : {"DISPLAY=", "DISPLAY=:97"}) {
    SCOPED_TRACE(display);
    const ProgramResult result =
        RunProgram({"--dir", dir.path().string()}, {display, "QT_QPA_PLATFORM="});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("no X display can be reached"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("--headless"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "velmarin.ini"));
}

}  // namespace
}  // namespace velmarin::test
