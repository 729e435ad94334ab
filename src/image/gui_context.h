#pragma once

namespace velmarin {

// Drawing text on images needs Qt's font database, which lives in a QGuiApplication. Makes
// one for the whole process unless an application object exists already; without a display
// (neither DISPLAY nor WAYLAND_DISPLAY set) it runs on the "offscreen" platform unless
// QT_QPA_PLATFORM names one. Call it on the main thread before any image is stamped.
void EnsureGuiApplication();

}  // namespace velmarin
