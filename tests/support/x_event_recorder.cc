#include "support/x_event_recorder.h"

#include <X11/Xlib.h>
#include <poll.h>

namespace velmarin::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kMapPatience{20};

static_assert(kShiftMask == ShiftMask && kControlMask == ControlMask && kAltMask == Mod1Mask);

}  // namespace

std::string KeysymName(std::uint32_t keysym) {
  const char* name = XKeysymToString(keysym);
  return name ? name : "";
}

void XEventRecorder::DisplayCloser::operator()(_XDisplay* display) const { XCloseDisplay(display); }

XEventRecorder::XEventRecorder(const std::string& display_name, int x, int y, int width, int height)
    : display_(XOpenDisplay(display_name.c_str())) {
  Display* display = display_.get();
  if (display == nullptr) {
    error_ = "cannot open " + display_name;
    return;
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.event_mask =
      KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  window_ =
      XCreateWindow(display, DefaultRootWindow(display), x, y, width, height, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
  XMapRaised(display, window_);
  XEvent event;
  const auto deadline = Clock::now() + kMapPatience;
  do {
    if (!NextEvent(&event, deadline)) {
      error_ = "the recorder window was never mapped";
      return;
    }
  } while (event.type != MapNotify || event.xmap.window != window_);
  XSetInputFocus(display, window_, RevertToPointerRoot, CurrentTime);
  XSync(display, False);
}

XEventRecorder::~XEventRecorder() {
  if (display_ && window_ != 0) XDestroyWindow(display_.get(), window_);
}

bool XEventRecorder::NextEvent(void* event, std::chrono::steady_clock::time_point deadline) {
  Display* display = display_.get();
  while (XPending(display) == 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd wait_for{ConnectionNumber(display), POLLIN, 0};
    poll(&wait_for, 1, static_cast<int>(left.count()));
  }
  XNextEvent(display, static_cast<XEvent*>(event));
  return true;
}

std::vector<RecordedXEvent> XEventRecorder::WaitForEvents(std::size_t count,
                                                          std::chrono::milliseconds patience) {
  if (!display_) return events_;
  const auto deadline = Clock::now() + patience;
  XEvent event;
  while (events_.size() < count && NextEvent(&event, deadline)) {
    switch (event.type) {
      case KeyPress:
      case KeyRelease:
        events_.push_back({event.type == KeyPress ? RecordedXEvent::Kind::kKeyPress
                                                  : RecordedXEvent::Kind::kKeyRelease,
                           event.xkey.keycode, event.xkey.state, event.xkey.x_root,
                           event.xkey.y_root});
        break;
      case ButtonPress:
      case ButtonRelease:
        events_.push_back({event.type == ButtonPress ? RecordedXEvent::Kind::kButtonPress
                                                     : RecordedXEvent::Kind::kButtonRelease,
                           event.xbutton.button, event.xbutton.state, event.xbutton.x_root,
                           event.xbutton.y_root});
        break;
      default:
        break;
    }
  }
  return events_;
}

unsigned XEventRecorder::KeycodeOf(std::uint32_t keysym) const {
  return display_ ? XKeysymToKeycode(display_.get(), keysym) : 0;
}

std::pair<int, int> XEventRecorder::PointerPosition() const {
  if (!display_) return {-1, -1};
  Window root = 0, child = 0;
  int root_x = -1, root_y = -1, window_x = 0, window_y = 0;
  unsigned mask = 0;
  XQueryPointer(display_.get(), DefaultRootWindow(display_.get()), &root, &child, &root_x, &root_y,
                &window_x, &window_y, &mask);
  return {root_x, root_y};
}

}  // namespace velmarin::test
