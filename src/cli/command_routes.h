#pragma once

#include <optional>
#include <span>

#include "cli/options.h"

namespace velmarin::cli {

// The parts of the program that `velmarin` loads for the commands it does not run itself, each
// with the libraries its commands need: the image editing (Qt GUI for the stamps, libjpeg,
// fontconfig) and the station (the window, the switch and the monitor: also Qt Widgets, X,
// sound, HID, evdev). The light commands load neither.
enum class ProgramPart { kImages, kStation };

using CommandFunction = int (*)(const Options&);

// Where a command runs: a function of the program at hand, or the part that holds it.
struct CommandRoute {
  constexpr CommandRoute(Command command, CommandFunction run) : command(command), run(run) {}
  constexpr CommandRoute(Command command, ProgramPart part) : command(command), part(part) {}

  Command command;
  CommandFunction run = nullptr;
  std::optional<ProgramPart> part;
};

// Runs `options.command` along its route: its function, or the part loaded for it, which runs
// it along the part's own routes. Returns the command's exit status; 1 with the reason on
// stderr when the part cannot be loaded or no route names the command.
int RunCommand(std::span<const CommandRoute> routes, const Options& options);

// What each part exports under kPartEntry: runs the command along the part's routes.
using PartEntry = int(const Options& options);
inline constexpr char kPartEntry[] = "velmarin_run_command";

}  // namespace velmarin::cli

// Each part defines it; `velmarin` finds it by its name, kPartEntry.
extern "C" [[gnu::visibility("default")]] velmarin::cli::PartEntry velmarin_run_command;
