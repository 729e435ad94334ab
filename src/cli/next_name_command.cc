#include "cli/next_name_command.h"

#include <cstdio>

#include "cli/command_context.h"
#include "naming/local_time.h"
#include "naming/transfer_path.h"

namespace velmarin::cli {

int RunNextNameCommand(const Options& options) {
  auto context = PrepareCommand(options);
  if (!context) return context.exit_code();
  std::string error;
  const Cp932Text transfer_folder =
      FolderInProgramDir(context->program_dir, context->settings[SettingSlot::TransferFolder]);
  const auto path = BuildTransferPath(context->settings[SettingSlot::NameFormat],
                                      context->capture_id, transfer_folder, LocalTimeNow(), &error);
  if (!path) return Failed(error);
  std::printf("%s\n", path->c_str());
  return 0;
}

}  // namespace velmarin::cli
