#pragma once

#include <string>
#include <vector>

#include "platform/screen_rect.h"

namespace velmarin {

// The screens of an X display (`display_name` empty: DISPLAY's); none when it cannot be
// reached. The root window spans all monitors, so it is the one rectangle given.
std::vector<ScreenRect> XScreens(const std::string& display_name = {});

}  // namespace velmarin
