#include "platform/uinput_input.h"

#include <thread>

namespace velmarin {

std::unique_ptr<UinputInput> MakeUinputInput(MessageSink& messages) {
  UinputInput::Parts parts{
      [](std::string* error) -> std::unique_ptr<InputEventWriter> {
        return UinputDevices::Create(error);
      },
      MakeSessionScreenLayout(),
      [] { return UinputInput::Clock::now(); },
      [](UinputInput::Clock::time_point when) { std::this_thread::sleep_until(when); },
  };
  return std::make_unique<UinputInput>(messages, KeyboardLayoutKeys(ReadKeyboardLayoutNames()),
                                       std::move(parts));
}

}  // namespace velmarin
