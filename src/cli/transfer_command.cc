#include "cli/transfer_command.h"

#include <cstdio>

#include "base/last_error_text.h"
#include "base/message_subject.h"
#include "cli/command_context.h"
#include "cli/stderr_messages.h"
#include "image/capture_processing.h"
#include "image/gui_context.h"
#include "settings/program_folder_lock.h"
#include "transfer/image_transfer_pipeline.h"

namespace velmarin::cli {

int RunTransferCommand(const Options& options) {
  auto context = PrepareCommand(options);
  if (!context) return context.exit_code();
  // The work files in "bkup" are the monitor's too: never both at once on one folder.
  OwnMessage lock_error;
  const auto lock = ProgramFolderLock::Acquire(context->program_dir, &lock_error);
  if (!lock) return Failed(lock_error.english);
  // Only images are drawn: a display that is set but unreachable must not stop the run.
  if (ProcessingDrawsText(context->settings)) EnsureGuiApplication(DisplayUse::kNever);
  StderrMessages messages;
  LastErrorText errors;
  ImageTransferPipeline pipeline;
  const ScopedMessageSubject subject(options.files.at(0));
  const auto outcome =
      TransferOneImage(options.files.at(0), context->settings, context->capture_id, LocalTimeNow(),
                       context->program_dir, OpenTransferFolder{}, pipeline, errors, messages);
  // A failure, or a note about a transferred image (the damage the decoder went past).
  if (const Cp932Text text = errors.Shown(); !text.empty()) messages.ShowMessage(text);
  const auto& target = outcome.target;
  if (!target) return 1;
  std::printf("%s\n", target->c_str());
  return 0;
}

}  // namespace velmarin::cli
