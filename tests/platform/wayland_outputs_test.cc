#include "platform/wayland_outputs.h"

#include <gtest/gtest.h>
#include <wayland-client-protocol.h>

#include "support/temp_dir.h"

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

}  // namespace
}  // namespace velmarin
