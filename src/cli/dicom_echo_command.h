#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --dicom-echo: checks the DICOM destination of velmarin.conf with a C-ECHO. Prints
// "C-ECHO to AE at HOST:PORT: answered" and returns 0, or says on stderr what failed (the
// file's problems, a host that does not resolve, no route, a refused connection or
// association, a wrong AE title) and returns 1.
int RunDicomEchoCommand(const Options& options);

}  // namespace velmarin::cli
