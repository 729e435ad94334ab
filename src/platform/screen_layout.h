#pragma once

#include <memory>
#include <vector>

#include "platform/screen_rect.h"

namespace velmarin {

// Where the desktop's screens lie, in the pixels a click position is given in: on Wayland the
// compositor's own layout (logical pixels, which a scaled output has fewer of than its mode),
// on X11 the root window's pixels.
class ScreenLayout {
 public:
  virtual ~ScreenLayout() = default;

  // The screens now; empty when no display can be reached or it shows no screen.
  virtual std::vector<ScreenRect> Screens() = 0;
};

// The session's screens, read afresh at every call: the Wayland compositor's outputs where a
// Wayland display can be reached (WAYLAND_DISPLAY), else the X display's root window.
std::unique_ptr<ScreenLayout> MakeSessionScreenLayout();

}  // namespace velmarin
