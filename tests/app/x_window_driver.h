#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _XDisplay;

namespace velmarin::test {

// Drives another program's top-level windows on an X display as a user would: finds them by
// title, reads their titles, focuses them and types on the keyboard (XTEST). Xlib stays in
// the .cc, away from GoogleTest.
class XWindowDriver {
 public:
  explicit XWindowDriver(const std::string& display_name);
  ~XWindowDriver();
  XWindowDriver(const XWindowDriver&) = delete;
  XWindowDriver& operator=(const XWindowDriver&) = delete;

  bool connected() const { return display_ != nullptr; }
  // A top-level window whose title (UTF-8) is `title`; 0 when there is none.
  unsigned long FindWindow(const std::string& title) const;
  std::string Title(unsigned long window) const;
  // Mapped and visible on the screen, so it can take the focus.
  bool Viewable(unsigned long window) const;
  void Focus(unsigned long window) const;
  // Whether a pop-up (a window that bypasses the window manager, as an open menu does) is
  // mapped and visible.
  bool PopupShown() const;

  struct Key {
    std::uint32_t keysym;
    std::uint32_t modifier_keysym = 0;  // held while the key is pressed (XK_Alt_L ...)
  };
  void Type(const std::vector<Key>& keys) const;
  // Sends `window` a _NET_WM_PING and waits (bounded by `limit`) for its program's answer: it
  // has then read every key typed before. False when no answer came.
  bool RoundTrip(unsigned long window, std::chrono::milliseconds limit) const;

 private:
  // The children of the root window, top to bottom as the server lists them.
  std::vector<unsigned long> TopLevelWindows() const;
  struct DisplayCloser {
    void operator()(_XDisplay* display) const;
  };
  std::unique_ptr<_XDisplay, DisplayCloser> display_;
};

}  // namespace velmarin::test
