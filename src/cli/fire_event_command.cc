#include "cli/fire_event_command.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/command_context.h"
#include "cli/stderr_messages.h"
#include "switch/capture_event.h"
#include "switch/input_backend_choice.h"

namespace velmarin::cli {
namespace {

// Time to bring the capture program's window to the front before the input arrives.
constexpr std::chrono::seconds kLeadTime{2};

}  // namespace

int RunFireEventCommand(const Options& options) {
  const auto context = PrepareCommand(options);
  if (!context) return context.exit_code();
  StderrMessages messages;
  SessionInput session_input(messages);
  InputSynthesizer& input = session_input.input();
  // Checked before the wait, so a missing display is told at once; the uinput devices made
  // here settle during the wait.
  if (!input.available()) return 1;
  std::this_thread::sleep_for(kLeadTime);
  return FireCaptureEvent(context->settings, input, &messages) ? 0 : 1;
}

}  // namespace velmarin::cli
