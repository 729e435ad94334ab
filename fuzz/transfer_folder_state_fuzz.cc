// Any bytes as the file where a station remembers its transfer folders: the start that reads
// it keeps a temporary mark that leads no temporary out of its folder, says damage once (the
// next start, reading what this one wrote, says nothing) and keeps its mark across starts.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "base/atomic_file.h"
#include "transfer/transfer_folder_check.h"

namespace {

namespace fs = std::filesystem;

void Require(bool condition) {
  if (!condition) std::abort();
}

void RemoveProgramFolder();

// Never destroyed, so that the removal at exit still finds it.
const fs::path& ProgramFolder() {
  static const fs::path* folder = [] {
    std::string pattern =
        (fs::temp_directory_path() / "velmarin-transfer-folder-state-fuzz-XXXXXX").string();
    Require(mkdtemp(pattern.data()) != nullptr);
    std::atexit(RemoveProgramFolder);
    return new fs::path(pattern);
  }();
  return *folder;
}

void RemoveProgramFolder() {
  std::error_code ignored;
  fs::remove_all(ProgramFolder(), ignored);
}

// A start that reads the file: its mark, and how many lines it said.
std::pair<std::string, int> Start(const fs::path& file) {
  velmarin::TransferFolderCheck check(
      [](const fs::path&) { return std::optional<velmarin::FolderPlace>(); },
      [] { return std::vector<fs::path>(); });
  int said = 0;
  check.KeepIn(file, [&](std::string_view) { ++said; });
  return {check.temporary_mark(), said};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path file = ProgramFolder() / velmarin::kTransferFolderStateFileName;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Require(static_cast<bool>(out));
  }
  const auto [mark, said] = Start(file);
  Require(velmarin::IsTemporaryMark(mark) && said <= 1);
  const auto [mark_again, said_again] = Start(file);
  Require(mark_again == mark && said_again == 0);
  return 0;
}
