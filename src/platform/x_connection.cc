#include "platform/x_connection.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <mutex>

#include "base/c_handle.h"

namespace velmarin {
namespace {

int IgnoreProtocolError(Display* /*display*/, XErrorEvent* /*error*/) { return 0; }

// Returning lets Xlib go on to the display's exit handler (WatchXConnectionLoss) instead of
// exiting here.
int IgnoreConnectionLoss(Display* /*display*/) { return 0; }

void MarkLost(Display* /*display*/, void* lost) {
  static_cast<std::atomic<bool>*>(lost)->store(true);
}

// A display opened for one question has nobody to tell about its loss.
void IgnoreLoss(Display* /*display*/, void* /*unused*/) {}

}  // namespace

void InstallXErrorHandlers() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    XSetErrorHandler(IgnoreProtocolError);
    XSetIOErrorHandler(IgnoreConnectionLoss);
  });
}

void WatchXConnectionLoss(Display* display, std::atomic<bool>* lost) {
  XSetIOErrorExitHandler(display, MarkLost, lost);
}

std::vector<ScreenRect> XScreens(const std::string& display_name) {
  InstallXErrorHandlers();
  const char* env_name = std::getenv("DISPLAY");
  const std::string name = !display_name.empty() ? display_name : env_name ? env_name : "";
  if (name.empty()) return {};
  const CHandle<Display, XCloseDisplay> display(XOpenDisplay(name.c_str()));
  if (!display) return {};
  XSetIOErrorExitHandler(display.get(), IgnoreLoss, nullptr);
  const int screen = DefaultScreen(display.get());
  return {
      ScreenRect{0, 0, DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen)}};
}

}  // namespace velmarin
