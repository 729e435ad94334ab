#include "platform/x_screens.h"

#include <xcb/xcb.h>

#include <cstdlib>

#include "base/c_handle.h"

namespace velmarin {

std::vector<ScreenRect> XScreens(const std::string& display_name) {
  const char* env_name = std::getenv("DISPLAY");
  const std::string name = !display_name.empty() ? display_name : env_name ? env_name : "";
  if (name.empty()) return {};
  int screen_number = 0;
  const CHandle<xcb_connection_t, xcb_disconnect> connection(
      xcb_connect(name.c_str(), &screen_number));
  if (xcb_connection_has_error(connection.get())) return {};
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  return {ScreenRect{0, 0, screens.data->width_in_pixels, screens.data->height_in_pixels}};
}

}  // namespace velmarin
