#include "platform/xtest_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/virtual_key_keysyms.h"
#include "platform/x_connection.h"

namespace velmarin {
namespace {

std::string Hex2(int code) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", code & 0xFF);
  return text;
}

}  // namespace

void XTestInput::DisplayCloser::operator()(_XDisplay* display) const { XCloseDisplay(display); }

XTestInput::XTestInput(MessageSink& messages, std::string display_name)
    : messages_(messages), display_name_(std::move(display_name)) {}

XTestInput::~XTestInput() = default;

_XDisplay* XTestInput::EnsureDisplay() {
  if (ConnectionLost()) return nullptr;
  if (display_) return display_.get();
  const char* env_name = std::getenv("DISPLAY");
  const std::string name = !display_name_.empty() ? display_name_ : env_name ? env_name : "";
  std::string problem;
  if (name.empty()) {
    problem = "DISPLAY is not set, so there is no X display.";
  } else {
    InstallXErrorHandlers();
    std::unique_ptr<_XDisplay, DisplayCloser> display(XOpenDisplay(name.c_str()));
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!display) {
      problem = "the X display \"" + name + "\" cannot be opened.";
    } else if (!XTestQueryExtension(display.get(), &event_base, &error_base, &major, &minor)) {
      problem = "the X display \"" + name + "\" has no XTEST extension.";
    } else {
      WatchXConnectionLoss(display.get(), &connection_lost_);
      display_ = std::move(display);
      return display_.get();
    }
  }
  if (!unavailable_reported_) {
    unavailable_reported_ = true;
    messages_.ShowMessage("Key strokes and clicks cannot be synthesized: " + problem +
                          " The foot switch and the event test send nothing.");
  }
  return nullptr;
}

bool XTestInput::ConnectionLost() {
  if (!connection_lost_.load()) return false;
  if (display_) {
    display_.reset();
    messages_.ShowMessage(
        "The connection to the X display was lost; key strokes and clicks are no longer sent "
        "until Velmarin is started again. Images are still taken over.");
  }
  return true;
}

bool XTestInput::available() {
  std::lock_guard lock(mutex_);
  return EnsureDisplay() != nullptr;
}

void XTestInput::ReportSkippedKey(int virtual_key, const std::string& why) {
  const auto bit = static_cast<std::size_t>(virtual_key & 0xFF);
  if (skipped_keys_reported_.test(bit)) return;
  skipped_keys_reported_.set(bit);
  messages_.ShowMessage("The key code " + Hex2(virtual_key) + " " + why +
                        "; that key is not sent.");
}

void XTestInput::SendKey(int virtual_key, bool press) {
  std::lock_guard lock(mutex_);
  Display* display = EnsureDisplay();
  if (display == nullptr) return;
  const KeySym keysym = KeysymForVirtualKey(virtual_key);
  if (keysym == 0) {
    ReportSkippedKey(virtual_key, "stands for no key of an X keyboard");
    return;
  }
  const KeyCode keycode = XKeysymToKeycode(display, keysym);
  if (keycode == 0) {
    const char* keysym_name = XKeysymToString(keysym);
    ReportSkippedKey(virtual_key, std::string("(") + (keysym_name ? keysym_name : "?") +
                                      ") has no key on the X display's keyboard");
    return;
  }
  XTestFakeKeyEvent(display, keycode, press ? True : False, CurrentTime);
  ConnectionLost();
}

void XTestInput::KeyDown(int virtual_key) { SendKey(virtual_key, true); }

void XTestInput::KeyUp(int virtual_key) { SendKey(virtual_key, false); }

void XTestInput::MoveTo(int x, int y) {
  std::lock_guard lock(mutex_);
  Display* display = EnsureDisplay();
  if (display == nullptr) return;
  // The request carries 16-bit coordinates; keep far-off values at the screen's edge instead
  // of letting them wrap around to some other place.
  const int screen = DefaultScreen(display);
  const int max_x = std::max(0, DisplayWidth(display, screen) - 1);
  const int max_y = std::max(0, DisplayHeight(display, screen) - 1);
  XTestFakeMotionEvent(display, screen, std::clamp(x, 0, max_x), std::clamp(y, 0, max_y),
                       CurrentTime);
  ConnectionLost();
}

void XTestInput::SendLeftButton(bool press) {
  std::lock_guard lock(mutex_);
  Display* display = EnsureDisplay();
  if (display == nullptr) return;
  XTestFakeButtonEvent(display, Button1, press ? True : False, CurrentTime);
  ConnectionLost();
}

void XTestInput::LeftButtonDown() { SendLeftButton(true); }

void XTestInput::LeftButtonUp() { SendLeftButton(false); }

void XTestInput::Flush() {
  std::lock_guard lock(mutex_);
  // Only an open display has events to deliver; no new connection attempt just for this.
  if (display_ && !ConnectionLost()) XSync(display_.get(), False);
  ConnectionLost();
}

}  // namespace velmarin
