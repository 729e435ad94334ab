#include "platform/screen_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "support/headless_sway.h"
#include "support/program_on_path.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "support/xvfb_server.h"

namespace velmarin {
namespace {

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The screens from left to right (compositors list their outputs in an order of their own).
std::string Described(std::vector<ScreenRect> screens) {
  std::sort(screens.begin(), screens.end(),
            [](const ScreenRect& a, const ScreenRect& b) { return a.x < b.x; });
  std::ostringstream said;
  for (const ScreenRect& screen : screens) {
    said << screen.x << ',' << screen.y << ' ' << screen.width << 'x' << screen.height << "; ";
  }
  return said.str();
}

// A Wayland session with an X display beside it (Xwayland's): the compositor's outputs count,
// two of different scales, one fractional, side by side in logical pixels.
TEST(SessionScreenLayoutTest, TheCompositorsOutputsInLogicalPixelsComeBeforeTheXDisplay) {
  const auto sway = test::FindProgramOnPath("sway");
  if (!sway) GTEST_SKIP() << "sway is not installed (scripts/install-deps.sh installs it)";
  const auto xvfb = test::XvfbServer::FindBinary();
  if (!xvfb) GTEST_SKIP() << "Xvfb is not installed";
  test::TempDir runtime;
  test::XvfbServer x_display(*xvfb, runtime / "xvfb.log");
  ASSERT_FALSE(x_display.display_name().empty()) << x_display.error();
  const std::string outcome = test::RunUnprivileged(runtime.path(), [&]() -> std::string {
    test::HeadlessSway compositor(*sway, runtime.path(),
                                  "output HEADLESS-1 mode 2560x1440 scale 2 position 0 0\n"
                                  "output HEADLESS-2 mode 1920x1080 scale 1.5 position 1280 0",
                                  2);
    if (compositor.display().empty()) return compositor.error();
    const ScopedVariable wayland("WAYLAND_DISPLAY", compositor.display());
    const ScopedVariable x("DISPLAY", x_display.display_name());
    return Described(MakeSessionScreenLayout()->Screens());
  });
  EXPECT_EQ(outcome, "0,0 1280x720; 1280,0 1280x720; ");
}

TEST(SessionScreenLayoutTest, WhereNoWaylandDisplayAnswersTheXRootWindowIsTheScreen) {
  const auto xvfb = test::XvfbServer::FindBinary();
  if (!xvfb) GTEST_SKIP() << "Xvfb is not installed";
  test::TempDir dir;
  test::XvfbServer x_display(*xvfb, dir / "xvfb.log");
  ASSERT_FALSE(x_display.display_name().empty()) << x_display.error();
  const ScopedVariable wayland("WAYLAND_DISPLAY", (dir / "wayland-gone").string());
  const ScopedVariable x("DISPLAY", x_display.display_name());
  EXPECT_EQ(Described(MakeSessionScreenLayout()->Screens()), "0,0 1024x768; ");
}

}  // namespace
}  // namespace velmarin
