#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/screen_rect.h"

struct _XDisplay;  // Xlib's Display

namespace velmarin {

// Replaces, once per process, Xlib's handlers that end the program: a protocol error (a key
// the server refuses, say) only loses that request, and a lost connection returns to the
// caller. Call before opening a display.
void InstallXErrorHandlers();

// From now on a lost connection to `display` sets `lost` instead of ending the process; the
// display must not be used afterwards, except to close it.
void WatchXConnectionLoss(_XDisplay* display, std::atomic<bool>* lost);

// The screens of an X display (`display_name` empty: DISPLAY's); none when it cannot be
// reached. The root window spans all monitors, so it is the one rectangle given.
std::vector<ScreenRect> XScreens(const std::string& display_name = {});

}  // namespace velmarin
