#include "cli/process_command.h"

#include <cstdio>
#include <filesystem>

#include "base/last_error_text.h"
#include "base/message_subject.h"
#include "cli/command_context.h"
#include "cli/stderr_messages.h"
#include "image/capture_processing.h"
#include "image/gui_context.h"
#include "naming/local_time.h"

namespace velmarin::cli {

int RunProcessCommand(const Options& options) {
  if (options.files.size() != 2) {
    std::fprintf(stderr, "velmarin: --process needs SRC and DST\n");
    return 2;
  }
  int exit_code = 0;
  auto context = PrepareCommand(options, &exit_code);
  if (!context) return exit_code;

  if (ProcessingDrawsText(context->settings)) EnsureGuiApplication(DisplayUse::kNever);

  LastErrorText errors;
  const ScopedMessageSubject subject(options.files[0]);
  const bool written = ProcessCapturedImage(
      std::filesystem::path(options.files[0]), std::filesystem::path(options.files[1]),
      context->settings, context->capture_id, LocalTimeNow(), errors);
  if (written) return 0;
  StderrMessages().ShowMessage(errors.Get());
  return 1;
}

}  // namespace velmarin::cli
