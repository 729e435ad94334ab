#pragma once

#include <csignal>

namespace velmarin {

// Blocks SIGINT and SIGTERM for the whole process and returns them, for a front end that takes
// them itself (a signalfd or sigwait). Called before any thread exists, so no worker is
// interrupted in the middle of an image.
sigset_t BlockStopSignals();

}  // namespace velmarin
