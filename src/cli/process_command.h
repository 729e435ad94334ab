#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --process SRC DST: fills the range and draws the stamps of the program folder's settings
// on SRC and writes the JPEG DST, as the folder monitor does for its work file. Exit 0 on
// success, 1 with the reason on stderr (also when the unedited copy failed), 2 on a usage
// error.
int RunProcessCommand(const Options& options);

}  // namespace velmarin::cli
