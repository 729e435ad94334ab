// The program `velmarin`: it runs the light commands itself and loads a part of the program
// for the others, so that a command loads only the libraries it uses.
#include <cstdio>
#include <string>

#include "base/message_subject.h"
#include "cli/command_context.h"
#include "cli/command_routes.h"
#include "cli/next_name_command.h"
#include "cli/options.h"
#include "cli/settings_command.h"
#include "platform/data_files.h"

namespace {

using velmarin::cli::Command;
using velmarin::cli::Options;
using velmarin::cli::ProgramPart;

int RunHelpCommand(const Options&) {
  std::fputs(velmarin::cli::kUsage, stdout);
  return 0;
}

int RunVersionCommand(const Options&) {
  std::printf("velmarin %s\n", VELMARIN_VERSION);
  if (const auto chime = velmarin::FindDataFile("chimes.wav")) {
    std::printf("chime: %s\n", chime->c_str());
  } else {
    std::printf("chime: none (the desktop beep sounds instead)\n");
  }
  return 0;
}

// Where each command runs: here, or in the part that holds the libraries it needs.
constexpr velmarin::cli::CommandRoute kRoutes[] = {
    {Command::kHelp, RunHelpCommand},
    {Command::kVersion, RunVersionCommand},
    {Command::kNextName, velmarin::cli::RunNextNameCommand},
    {Command::kSettings, velmarin::cli::RunSettingsCommand},
    {Command::kSet, velmarin::cli::RunSetCommand},
    {Command::kProcess, ProgramPart::kImages},
    {Command::kTransfer, ProgramPart::kImages},
    {Command::kWindow, ProgramPart::kStation},
    {Command::kHeadless, ProgramPart::kStation},
    {Command::kFireEvent, ProgramPart::kStation},
    {Command::kListSwitchDevices, ProgramPart::kStation},
    {Command::kStatus, ProgramPart::kStation},
    {Command::kDicomEcho, ProgramPart::kStation},
};

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = velmarin::cli::ParseOptions(argc, argv, &error);
  if (!options) {
    velmarin::PrintMessageLine("", error);
    std::fputs(velmarin::cli::kUsage, stderr);
    return 2;
  }
  return velmarin::cli::FinishStandardOutput(velmarin::cli::RunCommand(kRoutes, *options));
}
