#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;

namespace velmarin::test {

// Modifier bits of an event's state (Xlib's ShiftMask, ControlMask, Mod1Mask), here so that
// tests need not include Xlib, whose macros clash with GoogleTest.
inline constexpr unsigned kShiftMask = 1u << 0;
inline constexpr unsigned kControlMask = 1u << 2;
inline constexpr unsigned kAltMask = 1u << 3;

// The name Xlib gives a keysym ("Return"), or an empty text when it knows none.
std::string KeysymName(std::uint32_t keysym);

// A key or button event as an X client received it.
struct RecordedXEvent {
  enum class Kind { kKeyPress, kKeyRelease, kButtonPress, kButtonRelease };
  Kind kind;
  unsigned detail;  // keycode or button number
  unsigned state;   // modifier and button mask before the event
  int root_x;
  int root_y;
};

// A real X client: its own connection and a window that takes the keyboard focus and records
// the key and button events it receives, as the capture program's window would.
class XEventRecorder {
 public:
  // Maps a window at (x, y) on the root, without a window manager's help, and focuses it.
  XEventRecorder(const std::string& display_name, int x, int y, int width, int height);
  ~XEventRecorder();
  XEventRecorder(const XEventRecorder&) = delete;
  XEventRecorder& operator=(const XEventRecorder&) = delete;

  // Empty when the window is mapped and focused, else why not.
  const std::string& error() const { return error_; }

  // Collects events until `count` have arrived or `patience` has passed; returns all so far.
  std::vector<RecordedXEvent> WaitForEvents(std::size_t count, std::chrono::milliseconds patience);

  // The keycode of `keysym` on this display's keyboard (0 when it has none).
  unsigned KeycodeOf(std::uint32_t keysym) const;
  // Where the pointer is, in root coordinates.
  std::pair<int, int> PointerPosition() const;

 private:
  struct DisplayCloser {
    void operator()(_XDisplay* display) const;
  };
  // Waits for the next X event until `deadline`; false on timeout.
  bool NextEvent(void* event, std::chrono::steady_clock::time_point deadline);

  std::unique_ptr<_XDisplay, DisplayCloser> display_;
  unsigned long window_ = 0;
  std::string error_;
  std::vector<RecordedXEvent> events_;
};

}  // namespace velmarin::test
