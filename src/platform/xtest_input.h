#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "base/message_sink.h"
#include "platform/input_synthesizer.h"
#include "platform/skipped_keys.h"

struct xcb_connection_t;

namespace velmarin {

// Synthesizes input on an X display through the XTEST extension, over XCB. The display is
// opened on first use and kept open. When there is no display or it lacks XTEST, the reason
// goes to `messages` once and every call does nothing; the next call tries the display again,
// so a display that appears later is used. A key the display's keyboard does not have is
// skipped, reported once per key code. X errors never end the program: a request the server
// refuses is lost, and a lost connection stops the synthesis for good, said once. Safe to use
// from several threads.
class XTestInput final : public InputSynthesizer {
 public:
  // `display_name` empty: the display named by DISPLAY.
  explicit XTestInput(MessageSink& messages, std::string display_name = {});
  ~XTestInput() override;
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;

  bool available() override;
  bool KeyDown(int virtual_key) override;
  bool KeyUp(int virtual_key) override;
  bool MoveTo(int x, int y) override;
  bool LeftButtonDown() override;
  bool LeftButtonUp() override;
  bool Flush() override;

 private:
  // The open connection, or nullptr after reporting (once) why there is none. Needs mutex_.
  xcb_connection_t* EnsureConnection();
  // True once the connection broke; says so the first time. Needs mutex_.
  bool ConnectionLost();
  // The key code that gives `keysym` on the display's keyboard now, 0 when none. Needs mutex_.
  std::uint8_t KeycodeFor(std::uint32_t keysym);
  bool SendKey(int virtual_key, bool press);
  bool SendLeftButton(bool press);

  MessageSink& messages_;
  const std::string display_name_;
  std::mutex mutex_;
  xcb_connection_t* connection_ = nullptr;
  std::uint32_t root_ = 0;
  int screen_width_ = 0;
  int screen_height_ = 0;
  bool lost_ = false;
  bool unavailable_reported_ = false;
  SkippedKeys skipped_keys_;  // needs mutex_
};

}  // namespace velmarin
