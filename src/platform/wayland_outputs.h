#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/screen_rect.h"

namespace velmarin {

// What a Wayland compositor says about one of its outputs.
struct WaylandOutput {
  // wl_output: the output's place in the compositor's space, its transform
  // (WL_OUTPUT_TRANSFORM_*), its current mode in the output's own pixels and its integer scale.
  int x = 0;
  int y = 0;
  int transform = 0;
  int mode_width = 0;
  int mode_height = 0;
  int scale = 1;
  // xdg-output's logical position and size, where the compositor offers that protocol. It is
  // exact where the scale is fractional, which wl_output cannot say.
  std::optional<ScreenRect> logical;
};

// The output's rectangle in the compositor's logical space: xdg-output's where given, else the
// mode turned by the transform and divided by the scale. nullopt while no size is known.
std::optional<ScreenRect> LogicalRect(const WaylandOutput& output);

// The outputs of the compositor at `display_name` (empty: WAYLAND_DISPLAY's), read over a
// connection of its own that waits at most three seconds for the answers; nullopt when no
// compositor can be reached or it does not answer in time.
std::optional<std::vector<WaylandOutput>> ReadWaylandOutputs(const std::string& display_name = {});

}  // namespace velmarin
