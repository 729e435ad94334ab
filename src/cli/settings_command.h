#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --settings: the 19 settings of velmarin.ini as NAME=VALUE lines in UTF-8, in file order.
int RunSettingsCommand(const Options& options);

// --set NAME=VALUE ...: checks every assignment first (a known name; a value that converts to
// code page 932 whole, fits a slot and has no line break), then, holding the program-folder
// lock, writes only those slots into the file as it is now. Nothing is written when any
// assignment is refused or the file exists but cannot be read.
int RunSetCommand(const Options& options);

}  // namespace velmarin::cli
