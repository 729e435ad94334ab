// BuildTransferPath on any template and ID inside one temporary transfer folder: no crash,
// results stay inside the folder, a serial never names an existing file, failures explain
// themselves.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "naming/template_expansion.h"
#include "naming/transfer_path.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr velmarin::LocalTime kNow{2012, 9, 28, 14, 5, 9};
constexpr int kRunsBetweenCleanups = 500;  // keeps the tree of created folders small

using velmarin::fuzz::Require;

const fs::path& TransferFolder() {
  return velmarin::fuzz::ScratchFolder("velmarin-transfer-path-fuzz");
}

void EmptyFolder(const fs::path& folder) {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) fs::remove_all(entry, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int runs = 0;
  const fs::path& folder = TransferFolder();
  if (++runs % kRunsBetweenCleanups == 0) EmptyFolder(folder);

  FuzzedDataProvider provider(data, size);
  const std::string id = provider.ConsumeRandomLengthString(16);
  const std::string templ = provider.ConsumeRemainingBytesAsString();

  std::string error;
  const auto path = velmarin::BuildTransferPath(velmarin::Cp932Text(templ), velmarin::Cp932Text(id),
                                                velmarin::Cp932Text(folder.string()), kNow, &error);
  if (!path) {
    Require(!error.empty());
    return 0;
  }
  const std::string text = path->string();
  Require(text.starts_with(folder.string() + "/"));
  Require(text.ends_with("pg"));  // a "$r" at the end of the name may take ".j"
  const fs::path normal = path->lexically_normal();
  Require(normal.string().starts_with(folder.string() + "/"));
  const std::string name =
      velmarin::ExpandTemplate(velmarin::Cp932Text(id), velmarin::Cp932Text(templ), kNow).bytes();
  if (name.find("$r") != std::string::npos) Require(!velmarin::PathExists(*path));
  return 0;
}
