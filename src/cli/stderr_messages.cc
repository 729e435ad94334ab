#include "cli/stderr_messages.h"

#include <cstdio>
#include <string>

#include "cli/command_context.h"

namespace velmarin::cli {

void StderrMessages::ShowMessage(std::string_view text) {
  std::lock_guard lock(mutex_);
  std::fputs("velmarin: ", stderr);
  PrintCp932Line(stderr, std::string(text));
}

}  // namespace velmarin::cli
