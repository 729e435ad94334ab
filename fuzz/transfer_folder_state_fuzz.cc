// Any bytes as the file where a station remembers its transfer folders: the start that reads
// it keeps a temporary mark that leads no temporary out of its folder, says damage once (the
// next start, reading what this one wrote, says nothing) and keeps its mark across starts.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "scratch_folder.h"
#include "transfer/transfer_folder_check.h"

namespace {

namespace fs = std::filesystem;

using velmarin::fuzz::Require;

const fs::path& ProgramFolder() {
  return velmarin::fuzz::ScratchFolder("velmarin-transfer-folder-state-fuzz");
}

// A start that reads the file: its mark, and how many lines it said.
std::pair<std::string, int> Start(const fs::path& file) {
  velmarin::TransferFolderCheck check(
      [](const fs::path&) { return std::optional<velmarin::FolderPlace>(); },
      [] { return std::vector<fs::path>(); });
  int said = 0;
  check.KeepIn(file, [&](const velmarin::OwnMessage&) { ++said; });
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
