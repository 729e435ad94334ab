#include "platform/screen_layout.h"

#include <cstdlib>

#include "platform/wayland_outputs.h"
#include "platform/x_screens.h"

namespace velmarin {
namespace {

class SessionScreenLayout final : public ScreenLayout {
 public:
  std::vector<ScreenRect> Screens() override {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && wayland[0] != '\0') {
      if (const auto outputs = ReadWaylandOutputs(wayland)) {
        std::vector<ScreenRect> screens;
        for (const WaylandOutput& output : *outputs) {
          if (const auto rect = LogicalRect(output)) screens.push_back(*rect);
        }
        return screens;
      }
    }
    return XScreens();
  }
};

}  // namespace

std::unique_ptr<ScreenLayout> MakeSessionScreenLayout() {
  return std::make_unique<SessionScreenLayout>();
}

}  // namespace velmarin
