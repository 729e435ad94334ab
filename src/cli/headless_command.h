#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --headless: the program's main job without a window. Starts up as the window would, starts
// monitoring with --id, prints "COUNT<TAB>PATH" for every image taken over and each new
// LastErrorText on stderr; SIGINT or SIGTERM stops the threads, saves the settings, exits 0.
int RunHeadlessCommand(const Options& options);

}  // namespace velmarin::cli
