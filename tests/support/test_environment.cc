// Compiled into every test binary: tells the tests where the program and the public test
// images are, unless the environment already does (the variables win, so a run by hand can
// point elsewhere).
#include <cstdlib>

namespace {

const bool kEnvironmentSet = [] {
  setenv("VELMARIN_BINARY", VELMARIN_BINARY_PATH, 0);
  setenv("VELMARIN_TESTDATA", VELMARIN_TESTDATA_PATH, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return true;
}();

}  // namespace
