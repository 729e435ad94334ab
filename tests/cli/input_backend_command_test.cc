#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/uinput_devices.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

using InputBackendCommands = ProgramTest;

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(InputBackendCommands, WaylandSessionSaysWhichBackendAndWhy) {
  const ProgramResult result =
      RunProgram({"--list-switch-devices"},
                 {"WAYLAND_DISPLAY=wayland-0", "XDG_CONFIG_HOME=" + dir.path().string()});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  if (UinputWritable()) {
    EXPECT_NE(result.err.find("input backend: uinput (Wayland session"), std::string::npos)
        << result.err;
  } else {
    // Without /dev/uinput the fallback is said once, with the way to mend it.
    EXPECT_NE(result.err.find("input backend: xtest (Wayland session, but /dev/uinput"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Occurrences(result.err, "reach only X11 programs"), 1) << result.err;
    EXPECT_NE(result.err.find("modprobe uinput"), std::string::npos) << result.err;
  }
  EXPECT_EQ(result.out.find("input backend"), std::string::npos) << "the list stays plain";
}

TEST_F(InputBackendCommands, ChoiceInTheUserConfigHoldsForTheEventTest) {
  std::filesystem::create_directories(dir / "velmarin");
  WriteFileBytes(dir / "velmarin" / "velmarin.conf", "input = xtest\n");
  const ProgramResult listed =
      RunProgram({"--list-switch-devices"},
                 {"WAYLAND_DISPLAY=wayland-0", "XDG_CONFIG_HOME=" + dir.path().string()});
  EXPECT_NE(listed.err.find("input backend: xtest (chosen in velmarin.conf)"), std::string::npos)
      << listed.err;
  EXPECT_EQ(listed.err.find("reach only X11 programs"), std::string::npos) << listed.err;

  // --fire-event takes the same choice: XTest without a display says so and fails.
  const ProgramResult fired = RunProgram(
      {"--dir", dir.path().string(), "--fire-event"},
      {"WAYLAND_DISPLAY=wayland-0", "DISPLAY", "XDG_CONFIG_HOME=" + dir.path().string()});
  EXPECT_EQ(fired.exit_code, 1);
  EXPECT_NE(fired.err.find("DISPLAY is not set"), std::string::npos) << fired.err;
}

}  // namespace
}  // namespace velmarin::test
