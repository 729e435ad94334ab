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
#include "transfer/image_failure_texts.h"

namespace velmarin::cli {

int RunProcessCommand(const Options& options) {
  if (options.files.size() != 2) {
    PrintMessageLine("", "--process needs SRC and DST");
    return 2;
  }
  auto context = PrepareCommand(options);
  if (!context) return context.exit_code();

  if (ProcessingDrawsText(context->settings)) EnsureGuiApplication(DisplayUse::kNever);

  const ScopedMessageSubject subject(options.files[0]);
  const ImageStep step{ImageStep::Kind::kProcess, options.files[0], options.files[1]};
  const ImageResult result = ProcessCapturedImage(step.source, step.target, context->settings,
                                                  context->capture_id, LocalTimeNow());
  StderrMessages messages;
  LastErrorText errors;
  ReportImageResult(step, result, errors, messages);
  // A failure, or a note about a written image (the damage the decoder went past).
  if (const Cp932Text text = errors.Shown(); !text.empty()) messages.ShowMessage(text);
  return result.ok() ? 0 : 1;
}

}  // namespace velmarin::cli
