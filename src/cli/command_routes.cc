#include "cli/command_routes.h"

#include "cli/command_context.h"
#include "platform/program_parts.h"

namespace velmarin::cli {
namespace {

const char* PartFile(ProgramPart part) {
  switch (part) {
    case ProgramPart::kImages:
      return "velmarin-images.so";
    case ProgramPart::kStation:
      return "velmarin-station.so";
  }
  return "";
}

int RunInPart(ProgramPart part, const Options& options) {
  std::string error;
  void* entry = LoadProgramPart(PartFile(part), kPartEntry, &error);
  if (entry == nullptr) return Failed("cannot load a part of the program: " + error);
  return reinterpret_cast<PartEntry*>(entry)(options);
}

}  // namespace

int RunCommand(std::span<const CommandRoute> routes, const Options& options) {
  for (const CommandRoute& route : routes) {
    if (route.command != options.command) continue;
    return route.run != nullptr ? route.run(options) : RunInPart(*route.part, options);
  }
  return Failed("this build of the program has no such command");
}

}  // namespace velmarin::cli
