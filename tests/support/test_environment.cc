// Compiled into every test binary: tells the tests where the program and the public test
// images are, unless the environment already does (the variables win, so a run by hand can
// point elsewhere), and keeps them off the session bus and out of the user's cache.
#include <cstdlib>
#include <filesystem>

namespace {

const bool kEnvironmentSet = [] {
  setenv("VELMARIN_BINARY", VELMARIN_BINARY_PATH, 0);
  setenv("VELMARIN_TESTDATA", VELMARIN_TESTDATA_PATH, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No test reaches the session bus of the desktop it runs on (a station running there would
  // answer): a test that needs one starts its own (support/session_bus.h).
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmarin-tests-have-no-session-bus",
         1);
  // What the program keeps there (where serial searches start) goes to a cache of the tests'
  // own, shared by the programs a test runs.
  setenv("XDG_CACHE_HOME",
         (std::filesystem::temp_directory_path() / "velmarin-tests-cache").c_str(), 1);
  return true;
}();

}  // namespace
