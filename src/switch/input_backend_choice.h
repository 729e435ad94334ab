#pragma once

#include <memory>
#include <string>

#include "base/message_sink.h"
#include "base/own_message.h"
#include "platform/input_synthesizer.h"
#include "platform/screen_lock.h"
#include "settings/user_config.h"

namespace velmarin {

enum class InputBackendKind { kXTest, kUinput };

// Which backend synthesizes input, and why, in words for the user.
struct InputBackendChoice {
  InputBackendKind kind = InputBackendKind::kXTest;
  std::string reason;
  // Said once when the choice leaves programs out (empty otherwise).
  OwnMessage warning;
};

// The session decides under "auto": an X11 session (no WAYLAND_DISPLAY) keeps XTest; a
// Wayland session uses uinput when /dev/uinput opens, else XTest with a warning, since XTest
// reaches only X11 programs there. "xtest" and "uinput" are taken as they are.
InputBackendChoice ChooseInputBackend(InputBackendSetting setting, bool wayland_session,
                                      bool uinput_writable, const std::string& uinput_error);

// The choice for this process: the user's velmarin.conf, WAYLAND_DISPLAY and /dev/uinput.
// Problems of the file and the warning go to `messages`.
InputBackendChoice ChooseInputBackendForSession(MessageSink& messages);

// The backend a choice names.
std::unique_ptr<InputSynthesizer> MakeInputBackend(InputBackendKind kind, MessageSink& messages);

std::string InputBackendName(InputBackendKind kind);

// Sends nothing while the screen is locked: each capture skipped so is said. Everything else
// is passed to the backend.
class LockedScreenGuard final : public InputSynthesizer {
 public:
  LockedScreenGuard(InputSynthesizer& input, ScreenLock& lock, MessageSink& messages)
      : input_(input), lock_(lock), messages_(messages) {}

  bool available() override;
  void Prepare() override { input_.Prepare(); }
  bool KeyDown(int virtual_key) override { return input_.KeyDown(virtual_key); }
  bool KeyUp(int virtual_key) override { return input_.KeyUp(virtual_key); }
  bool MoveTo(int x, int y) override { return input_.MoveTo(x, y); }
  bool LeftButtonDown() override { return input_.LeftButtonDown(); }
  bool LeftButtonUp() override { return input_.LeftButtonUp(); }
  bool Flush() override { return input_.Flush(); }

 private:
  InputSynthesizer& input_;
  ScreenLock& lock_;
  MessageSink& messages_;
};

// The input of a running program: the backend chosen for the session behind the guard of the
// session's screen lock.
class SessionInput {
 public:
  explicit SessionInput(MessageSink& messages);

  InputSynthesizer& input() { return guard_; }
  const InputBackendChoice& choice() const { return choice_; }

 private:
  InputBackendChoice choice_;
  std::unique_ptr<InputSynthesizer> backend_;
  LogindScreenLock lock_;
  LockedScreenGuard guard_;
};

}  // namespace velmarin
