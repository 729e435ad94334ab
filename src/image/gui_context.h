#pragma once

namespace velmarin {

enum class DisplayUse {
  kWhenAvailable,  // the desktop's display when DISPLAY or WAYLAND_DISPLAY is set
  kNever,          // commands that only draw on images do not connect to a display
};

// Drawing text on images needs Qt's font database, which lives in a QGuiApplication. Makes
// one for the whole process unless an application object exists already. Without a display
// to use it runs on the "offscreen" platform, unless QT_QPA_PLATFORM names a platform. Call
// it on the main thread before any image is stamped.
void EnsureGuiApplication(DisplayUse use = DisplayUse::kWhenAvailable);

}  // namespace velmarin
