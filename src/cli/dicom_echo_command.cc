#include "cli/dicom_echo_command.h"

#include <cstdio>
#include <string>

#include "base/message_subject.h"
#include "dicom/dicom_exchange.h"
#include "settings/user_config.h"

namespace velmarin::cli {

int RunDicomEchoCommand(const Options&) {
  const std::filesystem::path file = UserConfigPath();
  const UserConfig config = ReadUserConfig(file);
  for (const OwnMessage& problem : config.problems) PrintMessageLine("", problem.english);
  if (!config.dicom_named) {
    PrintMessageLine(file.string(),
                     "names no DICOM destination (dicom_called_ae, dicom_host, dicom_port)");
    return 1;
  }
  if (!config.dicom) return 1;
  const DicomDestination& destination = *config.dicom;
  const std::string peer =
      destination.called_ae + " at " + destination.host + ":" + std::to_string(destination.port);
  NetworkInterrupt never;
  const DicomOutcome outcome = EchoDestination(destination, never);
  if (outcome.result != DicomResult::kDone) {
    PrintMessageLine("", "C-ECHO to " + peer + " failed: " + outcome.text);
    return 1;
  }
  std::printf("C-ECHO to %s: answered\n", peer.c_str());
  return 0;
}

}  // namespace velmarin::cli
