#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --next-name: prints the path the next transferred image would take, creating its folders.
int RunNextNameCommand(const Options& options);

}  // namespace velmarin::cli
