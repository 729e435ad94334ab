#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --fire-event: waits two seconds, then sends the configured key stroke or click once, as the
// window's event test does. 1 with the reason on stderr when nothing could be sent.
int RunFireEventCommand(const Options& options);

}  // namespace velmarin::cli
