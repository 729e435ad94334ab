#pragma once

#include <atomic>
#include <bitset>
#include <memory>
#include <mutex>
#include <string>

#include "base/message_sink.h"
#include "platform/input_synthesizer.h"

struct _XDisplay;  // Xlib's Display, kept out of this header so Qt code can include it

namespace velmarin {

// Synthesizes input on an X display through the XTEST extension. The display is opened on
// first use and kept open. When there is no display or it lacks XTEST, the reason goes to
// `messages` once and every call does nothing; the next call tries the display again, so a
// display that appears later is used. A key the display's keyboard does not have is skipped,
// reported once per key code. X errors never end the program: a request the server refuses is
// lost, and a lost connection stops the synthesis for good, said once. Safe to use from
// several threads.
class XTestInput final : public InputSynthesizer {
 public:
  // `display_name` empty: the display named by DISPLAY.
  explicit XTestInput(MessageSink& messages, std::string display_name = {});
  ~XTestInput() override;
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;

  bool available() override;
  void KeyDown(int virtual_key) override;
  void KeyUp(int virtual_key) override;
  void MoveTo(int x, int y) override;
  void LeftButtonDown() override;
  void LeftButtonUp() override;
  void Flush() override;

 private:
  struct DisplayCloser {
    void operator()(_XDisplay* display) const;
  };

  // The open display, or nullptr after reporting (once) why there is none. Needs mutex_.
  _XDisplay* EnsureDisplay();
  // True once the connection was lost; closes the display and says so the first time.
  // Needs mutex_.
  bool ConnectionLost();
  void SendKey(int virtual_key, bool press);
  void SendLeftButton(bool press);
  // Reports a key that cannot be sent, once per code. Needs mutex_.
  void ReportSkippedKey(int virtual_key, const std::string& why);

  MessageSink& messages_;
  const std::string display_name_;
  std::mutex mutex_;
  std::unique_ptr<_XDisplay, DisplayCloser> display_;
  std::atomic<bool> connection_lost_{false};  // set by Xlib's handler, on the calling thread
  bool unavailable_reported_ = false;
  std::bitset<256> skipped_keys_reported_;
};

}  // namespace velmarin
