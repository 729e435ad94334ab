#pragma once

#include <algorithm>
#include <optional>
#include <vector>

namespace velmarin {

// A rectangle of the desktop in pixels.
struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenRect&) const = default;
};

// The smallest rectangle holding every screen; nullopt when there are none.
inline std::optional<ScreenRect> BoundingBox(const std::vector<ScreenRect>& screens) {
  if (screens.empty()) return std::nullopt;
  int left = screens.front().x, top = screens.front().y;
  int right = left + screens.front().width, bottom = top + screens.front().height;
  for (const ScreenRect& screen : screens) {
    left = std::min(left, screen.x);
    top = std::min(top, screen.y);
    right = std::max(right, screen.x + screen.width);
    bottom = std::max(bottom, screen.y + screen.height);
  }
  return ScreenRect{left, top, right - left, bottom - top};
}

}  // namespace velmarin
