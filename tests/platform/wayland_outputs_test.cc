#include "platform/wayland_outputs.h"

#include <gtest/gtest.h>
#include <wayland-client-protocol.h>

#include <sstream>

#include "support/headless_sway.h"
#include "support/program_on_path.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace velmarin {
namespace {

WaylandOutput Output(int x, int y, int width, int height, int scale) {
  WaylandOutput output;
  output.x = x;
  output.y = y;
  output.mode_width = width;
  output.mode_height = height;
  output.scale = scale;
  return output;
}

TEST(WaylandOutputsTest, TheLogicalRectangleOfXdgOutputHoldsUnderAFractionalScale) {
  // 2560 x 1440 at 150 %: wl_output can only say "scale 2", xdg-output says 1707 x 960.
  WaylandOutput output = Output(0, 0, 2560, 1440, 2);
  output.logical = ScreenRect{0, 0, 1707, 960};
  EXPECT_EQ(LogicalRect(output), (ScreenRect{0, 0, 1707, 960}));
}

TEST(WaylandOutputsTest, WithoutXdgOutputTheModeIsTurnedThenDividedByTheScale) {
  EXPECT_EQ(LogicalRect(Output(1280, 0, 2560, 1440, 2)), (ScreenRect{1280, 0, 1280, 720}));
  WaylandOutput portrait = Output(0, 0, 1920, 1080, 1);
  portrait.transform = WL_OUTPUT_TRANSFORM_FLIPPED_270;
  EXPECT_EQ(LogicalRect(portrait), (ScreenRect{0, 0, 1080, 1920}));
  portrait.transform = WL_OUTPUT_TRANSFORM_180;
  EXPECT_EQ(LogicalRect(portrait), (ScreenRect{0, 0, 1920, 1080}));
}

TEST(WaylandOutputsTest, AnOutputWithoutASizeIsNoScreen) {
  EXPECT_EQ(LogicalRect(Output(0, 0, 0, 0, 1)), std::nullopt);
  WaylandOutput unsized = Output(0, 0, 0, 0, 1);
  unsized.logical = ScreenRect{0, 0, 0, 0};  // xdg-output said nothing yet
  EXPECT_EQ(LogicalRect(unsized), std::nullopt);
}

TEST(WaylandOutputsTest, NoCompositorIsNoAnswer) {
  test::TempDir dir;
  EXPECT_EQ(ReadWaylandOutputs((dir.path() / "wayland-none").string()), std::nullopt);
}

// A real compositor with two outputs of different scales, one of them fractional: the outputs
// are read in the compositor's logical pixels, side by side.
TEST(WaylandOutputsTest, ACompositorsOutputsOfDifferentScalesAreReadInLogicalPixels) {
  const auto sway = test::FindProgramOnPath("sway");
  if (!sway) GTEST_SKIP() << "sway is not installed (scripts/install-deps.sh installs it)";
  test::TempDir runtime;
  const std::string outcome = test::RunUnprivileged(runtime.path(), [&]() -> std::string {
    test::HeadlessSway compositor(*sway, runtime.path(),
                                  "output HEADLESS-1 mode 2560x1440 scale 2 position 0 0\n"
                                  "output HEADLESS-2 mode 1920x1080 scale 1.5 position 1280 0",
                                  2);
    if (compositor.display().empty()) return compositor.error();
    const auto outputs = ReadWaylandOutputs(compositor.display());
    if (!outputs) return "no answer from " + compositor.display();
    std::ostringstream said;
    for (const WaylandOutput& output : *outputs) {
      const auto rect = LogicalRect(output);
      if (!rect) return "an output without a size";
      said << rect->x << ',' << rect->y << ' ' << rect->width << 'x' << rect->height << " scale "
           << output.scale << "; ";
    }
    return said.str();
  });
  EXPECT_EQ(outcome, "0,0 1280x720 scale 2; 1280,0 1280x720 scale 2; ");
}

}  // namespace
}  // namespace velmarin
