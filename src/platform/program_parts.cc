#include "platform/program_parts.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace velmarin {

void* LoadProgramPart(std::string_view file, const char* entry, std::string* error) {
  // Never a path relative to the current folder: without the executable's own path, nothing.
  std::error_code failure;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", failure);
  if (failure) {
    *error = "/proc/self/exe: " + failure.message();
    return nullptr;
  }
  const auto path = (executable.parent_path() / VELMARIN_PART_FOLDER / file).lexically_normal();
  // Lazy binding: a command resolves only the functions it calls. The part's symbols stay
  // its own.
  void* part = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (part == nullptr) {
    *error = dlerror();
    return nullptr;
  }
  void* function = dlsym(part, entry);
  if (function == nullptr) *error = path.string() + ": no " + entry;
  return function;
}

}  // namespace velmarin
