#include <cstdio>
#include <string>

#include "cli/options.h"

int main(int argc, char** argv) {
  using velmarin::cli::Command;
  std::string error;
  const auto options = velmarin::cli::ParseOptions(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "velmarin: %s\n%s", error.c_str(), velmarin::cli::kUsage);
    return 2;
  }
  switch (options->command) {
    case Command::kHelp:
      std::fputs(velmarin::cli::kUsage, stdout);
      return 0;
    case Command::kVersion:
      std::printf("velmarin %s\n", VELMARIN_VERSION);
      return 0;
    default:
      std::fprintf(stderr, "velmarin: this command is not available yet\n");
      return 1;
  }
}
