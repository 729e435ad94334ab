#include "platform/wayland_outputs.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <list>

#include "base/c_handle.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace velmarin {
namespace {

using Clock = std::chrono::steady_clock;

// A compositor that does not answer within this time is taken as unreachable, so a hung one
// never holds the switch thread for long; a merely busy one answers well within it.
constexpr std::chrono::milliseconds kAnswerWait{3000};
// wl_output 2 has the scale; xdg-output 2 and 3 add only names and a changed "done".
constexpr std::uint32_t kOutputVersion = 2;
constexpr std::uint32_t kXdgOutputManagerVersion = 2;

struct Output {
  wl_output* output = nullptr;
  zxdg_output_v1* xdg_output = nullptr;
  WaylandOutput info;
  int logical_x = 0;
  int logical_y = 0;
  int logical_width = 0;
  int logical_height = 0;
};

// The globals bound on one connection; destroyed before the connection is closed.
struct Globals {
  std::list<Output> outputs;  // listeners hold pointers to the elements
  zxdg_output_manager_v1* xdg_output_manager = nullptr;

  ~Globals() {
    for (Output& output : outputs) {
      if (output.xdg_output != nullptr) zxdg_output_v1_destroy(output.xdg_output);
      wl_output_destroy(output.output);
    }
    if (xdg_output_manager != nullptr) zxdg_output_manager_v1_destroy(xdg_output_manager);
  }
};

Output& OutputOf(void* data) { return *static_cast<Output*>(data); }

const wl_output_listener kOutputListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
          OutputOf(data).info.x = x;
          OutputOf(data).info.y = y;
          OutputOf(data).info.transform = transform;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
          if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
          OutputOf(data).info.mode_width = width;
          OutputOf(data).info.mode_height = height;
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { OutputOf(data).info.scale = factor; },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
          OutputOf(data).logical_x = x;
          OutputOf(data).logical_y = y;
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
          OutputOf(data).logical_width = width;
          OutputOf(data).logical_height = height;
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

const wl_registry_listener kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          Globals& globals = *static_cast<Globals*>(data);
          if (std::strcmp(interface, wl_output_interface.name) == 0) {
            Output& output = globals.outputs.emplace_back();
            output.output = static_cast<wl_output*>(wl_registry_bind(
                registry, name, &wl_output_interface, std::min(version, kOutputVersion)));
            wl_output_add_listener(output.output, &kOutputListener, &output);
          } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 &&
                     globals.xdg_output_manager == nullptr) {
            globals.xdg_output_manager = static_cast<zxdg_output_manager_v1*>(
                wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                                 std::min(version, kXdgOutputManagerVersion)));
          }
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

// Dispatches the compositor's events until it has answered every request sent so far; false
// when the connection fails or `deadline` passes first.
bool Roundtrip(wl_display* display, Clock::time_point deadline) {
  bool answered = false;
  static const wl_callback_listener kDoneListener = {
      .done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; },
  };
  const CHandle<wl_callback, wl_callback_destroy> callback(wl_display_sync(display));
  if (!callback) return false;
  wl_callback_add_listener(callback.get(), &kDoneListener, &answered);
  while (!answered) {
    if (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) return false;
      continue;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if ((wl_display_flush(display) < 0 && errno != EAGAIN) || left <= 0) {
      wl_display_cancel_read(display);
      return false;
    }
    pollfd ready{wl_display_get_fd(display), POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left));
    if (polled <= 0) {
      wl_display_cancel_read(display);
      if (polled < 0 && errno == EINTR) continue;
      return false;
    }
    if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<ScreenRect> LogicalRect(const WaylandOutput& output) {
  if (output.logical && output.logical->width > 0 && output.logical->height > 0) {
    return output.logical;
  }
  if (output.mode_width <= 0 || output.mode_height <= 0) return std::nullopt;
  // The odd transforms turn the output by 90 or 270 degrees.
  const bool turned = (output.transform & 1) != 0;
  const int scale = std::max(output.scale, 1);
  return ScreenRect{output.x, output.y, (turned ? output.mode_height : output.mode_width) / scale,
                    (turned ? output.mode_width : output.mode_height) / scale};
}

std::optional<std::vector<WaylandOutput>> ReadWaylandOutputs(const std::string& display_name) {
  const CHandle<wl_display, wl_display_disconnect> display(
      wl_display_connect(display_name.empty() ? nullptr : display_name.c_str()));
  if (!display) return std::nullopt;
  const Clock::time_point deadline = Clock::now() + kAnswerWait;
  Globals globals;
  const CHandle<wl_registry, wl_registry_destroy> registry(wl_display_get_registry(display.get()));
  wl_registry_add_listener(registry.get(), &kRegistryListener, &globals);
  // The first answer lists the globals; the second brings what the outputs say.
  if (!Roundtrip(display.get(), deadline)) return std::nullopt;
  if (globals.xdg_output_manager != nullptr) {
    for (Output& output : globals.outputs) {
      output.xdg_output =
          zxdg_output_manager_v1_get_xdg_output(globals.xdg_output_manager, output.output);
      zxdg_output_v1_add_listener(output.xdg_output, &kXdgOutputListener, &output);
    }
  }
  if (!Roundtrip(display.get(), deadline)) return std::nullopt;

  std::vector<WaylandOutput> outputs;
  for (Output& output : globals.outputs) {
    if (output.xdg_output != nullptr) {
      output.info.logical = ScreenRect{output.logical_x, output.logical_y, output.logical_width,
                                       output.logical_height};
    }
    outputs.push_back(output.info);
  }
  return outputs;
}

}  // namespace velmarin
