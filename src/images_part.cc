// The part of the program that edits images (Qt GUI, libjpeg, fontconfig), loaded by
// `velmarin` for these commands.
#include "cli/command_routes.h"
#include "cli/process_command.h"
#include "cli/transfer_command.h"

namespace {

using velmarin::cli::Command;

constexpr velmarin::cli::CommandRoute kRoutes[] = {
    {Command::kProcess, velmarin::cli::RunProcessCommand},
    {Command::kTransfer, velmarin::cli::RunTransferCommand},
};

}  // namespace

int velmarin_run_command(const velmarin::cli::Options& options) {
  return velmarin::cli::RunCommand(kRoutes, options);
}
