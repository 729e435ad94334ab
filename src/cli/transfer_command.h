#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --transfer FILE: one cycle of the folder monitor for FILE (name, BMP conversion,
// normalisation, processing); prints the target path.
int RunTransferCommand(const Options& options);

}  // namespace velmarin::cli
