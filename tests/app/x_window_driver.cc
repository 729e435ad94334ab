#include "x_window_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

namespace velmarin::test {
namespace {

std::string Property(Display* display, Window window, Atom property, Atom type) {
  Atom actual_type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  std::string value;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actual_type, &format,
                         &items, &remaining, &data) == Success &&
      data != nullptr) {
    if (actual_type == type && format == 8) value.assign(reinterpret_cast<char*>(data), items);
    XFree(data);
  }
  return value;
}

}  // namespace

void XWindowDriver::DisplayCloser::operator()(_XDisplay* display) const { XCloseDisplay(display); }

XWindowDriver::XWindowDriver(const std::string& display_name)
    : display_(XOpenDisplay(display_name.c_str())) {
  // A window that has gone (the program ended) reads as empty instead of ending the test
  // through Xlib's default handler.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

XWindowDriver::~XWindowDriver() = default;

std::string XWindowDriver::Title(unsigned long window) const {
  Display* display = display_.get();
  const std::string utf8 = Property(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                                    XInternAtom(display, "UTF8_STRING", False));
  return utf8.empty() ? Property(display, window, XA_WM_NAME, XA_STRING) : utf8;
}

std::vector<unsigned long> XWindowDriver::TopLevelWindows() const {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<unsigned long> windows;
  if (!XQueryTree(display_.get(), DefaultRootWindow(display_.get()), &root, &parent, &children,
                  &count)) {
    return windows;
  }
  windows.assign(children, children + count);
  if (children != nullptr) XFree(children);
  return windows;
}

unsigned long XWindowDriver::FindWindow(const std::string& title) const {
  for (const unsigned long window : TopLevelWindows()) {
    if (Title(window) == title) return window;
  }
  return 0;
}

bool XWindowDriver::Viewable(unsigned long window) const {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display_.get(), window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

bool XWindowDriver::PopupShown() const {
  for (const unsigned long window : TopLevelWindows()) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_.get(), window, &attributes) != 0 &&
        attributes.override_redirect && attributes.map_state == IsViewable) {
      return true;
    }
  }
  return false;
}

void XWindowDriver::Focus(unsigned long window) const {
  XRaiseWindow(display_.get(), window);
  XSetInputFocus(display_.get(), window, RevertToPointerRoot, CurrentTime);
  XSync(display_.get(), False);
}

void XWindowDriver::Type(const std::vector<Key>& keys) const {
  Display* display = display_.get();
  const auto send = [display](std::uint32_t keysym, bool press) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press ? True : False, 0);
  };
  for (const Key& key : keys) {
    if (key.modifier_keysym != 0) send(key.modifier_keysym, true);
    send(key.keysym, true);
    send(key.keysym, false);
    if (key.modifier_keysym != 0) send(key.modifier_keysym, false);
    XSync(display, False);
  }
}

bool XWindowDriver::RoundTrip(unsigned long window, std::chrono::milliseconds limit) const {
  Display* display = display_.get();
  const Window root = DefaultRootWindow(display);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  // The answer goes to the root window, to the clients that listen for its structure's changes.
  XSelectInput(display, root, StructureNotifyMask);
  static long next_stamp = 1;
  const long stamp = next_stamp++;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(ping);
  event.xclient.data.l[1] = stamp;
  event.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    while (XPending(display) > 0) {
      XEvent answer;
      XNextEvent(display, &answer);
      if (answer.type == ClientMessage && answer.xclient.message_type == protocols &&
          answer.xclient.data.l[0] == static_cast<long>(ping) &&
          answer.xclient.data.l[1] == stamp) {
        return true;
      }
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left.count()));
  }
}

}  // namespace velmarin::test
