#include "switch/input_backend_choice.h"

#include <cstdlib>

#include "platform/uinput_devices.h"
#include "platform/uinput_input.h"
#include "platform/xtest_input.h"

namespace velmarin {

InputBackendChoice ChooseInputBackend(InputBackendSetting setting, bool wayland_session,
                                      bool uinput_writable, const std::string& uinput_error) {
  switch (setting) {
    case InputBackendSetting::kXTest:
      return {InputBackendKind::kXTest, "chosen in velmarin.conf", {}};
    case InputBackendSetting::kUinput:
      return {InputBackendKind::kUinput, "chosen in velmarin.conf", {}};
    case InputBackendSetting::kAuto:
      break;
  }
  if (!wayland_session)
    return {InputBackendKind::kXTest, "X11 session (WAYLAND_DISPLAY is not set)", {}};
  if (uinput_writable) {
    return {InputBackendKind::kUinput, "Wayland session, and /dev/uinput can be opened", {}};
  }
  return {InputBackendKind::kXTest,
          "Wayland session, but " + uinput_error,
          {"Key strokes and clicks reach only X11 programs: this is a Wayland session and " +
               uinput_error +
               ". To reach every program, install the velmarin package (its udev rule lets the "
               "user at the seat use /dev/uinput) and log in again, or run \"sudo modprobe "
               "uinput\" and \"sudo udevadm trigger\", then start Velmarin again.",
           "キーストロークとクリックは X11 のプログラムにしか届きません。Wayland のセッションで、"
           "/dev/uinput を使えないためです（" +
               uinput_error +
               "）。すべてのプログラムに届けるには、velmarin パッケージを入れて（その udev "
               "規則で、席のユーザーが /dev/uinput を使えます）ログインし直すか、"
               "「sudo modprobe uinput」と「sudo udevadm trigger」を実行してから、Velmarin "
               "を起動し直してください。"}};
}

InputBackendChoice ChooseInputBackendForSession(MessageSink& messages) {
  const UserConfig config = ReadUserConfig(UserConfigPath());
  for (const OwnMessage& problem : config.problems) messages.ShowOwnMessage(problem);
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  std::string uinput_error;
  const bool writable = UinputWritable(&uinput_error);
  InputBackendChoice choice = ChooseInputBackend(
      config.input, wayland != nullptr && wayland[0] != '\0', writable, uinput_error);
  if (!choice.warning.empty()) messages.ShowOwnMessage(choice.warning);
  return choice;
}

std::unique_ptr<InputSynthesizer> MakeInputBackend(InputBackendKind kind, MessageSink& messages) {
  if (kind == InputBackendKind::kUinput) return MakeUinputInput(messages);
  return std::make_unique<XTestInput>(messages);
}

std::string InputBackendName(InputBackendKind kind) {
  return kind == InputBackendKind::kUinput ? "uinput" : "xtest";
}

bool LockedScreenGuard::available() {
  if (lock_.Locked()) {
    messages_.ShowOwnMessage({"A capture was skipped because the screen is locked.",
                              "画面がロックされているため、キャプチャーのキーやクリックを送りません"
                              "でした。"});
    return false;
  }
  return input_.available();
}

SessionInput::SessionInput(MessageSink& messages)
    : choice_(ChooseInputBackendForSession(messages)),
      backend_(MakeInputBackend(choice_.kind, messages)),
      guard_(*backend_, lock_, messages) {}

}  // namespace velmarin
