#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"
#include "base/file_naming.h"
#include "naming/local_time.h"

namespace velmarin {

// True when a file-status query on `path` succeeds (files and folders alike).
bool PathExists(const std::filesystem::path& path);

// Creates every missing folder on the way to the file `path`; true when all exist after.
bool EnsureParentFolders(const std::filesystem::path& path);

// A path with a serial number: every occurrence of `placeholder` ("$r" and the two bytes
// behind it) stands for the number, written with at least `width` digits.
struct SerialPattern {
  std::string path;  // code page 932
  std::string placeholder;
  int width = 0;

  std::string With(int serial) const;
};

// The target of one transferred image as the serial search found it. With "$r" in the name the
// file claims its name (ClaimName) and never replaces a file: when another program took the
// name since the search, the next serial of the same search is tried, and so on; the folders of
// each new name are created. Without "$r" the name is replaced.
class TransferTarget final : public FileNaming {
 public:
  // A name without a serial: replaced.
  explicit TransferTarget(std::filesystem::path name) : name_(std::move(name)) {}

  const std::filesystem::path& name() const override { return name_; }
  bool Place(const std::filesystem::path& temporary) override;
  // Why the last Place failed when no serial was left to try; empty otherwise.
  const std::string& error() const { return error_; }

 private:
  friend std::optional<TransferTarget> BuildTransferTarget(const Cp932Text&, const Cp932Text&,
                                                           const Cp932Text&, const LocalTime&,
                                                           std::string*);
  TransferTarget(std::filesystem::path name, SerialPattern pattern, int serial)
      : name_(std::move(name)), pattern_(std::move(pattern)), serial_(serial) {}

  std::filesystem::path name_;
  std::optional<SerialPattern> pattern_;
  int serial_ = 0;  // the number in name_
  std::string error_;
};

// The target of the next transferred image: `name_format` expanded with
// `capture_id` and `now`, placed in `transfer_folder` with ".jpg" appended, "$r" resolved to
// a free serial number, missing folders created. Inputs are code page 932; the result is a
// UTF-8 file-system path in which every backslash of the expansion became a "/".
// nullopt with `error` set when no safe path can be built (nothing is ever overwritten).
std::optional<TransferTarget> BuildTransferTarget(const Cp932Text& name_format,
                                                  const Cp932Text& capture_id,
                                                  const Cp932Text& transfer_folder,
                                                  const LocalTime& now, std::string* error);

// The name BuildTransferTarget would choose now, as a preview shows it: a dry run that creates
// no folder. `transfer_folder` is resolved as the transfer resolves it (FolderInProgramDir).
std::optional<std::filesystem::path> BuildTransferPath(const Cp932Text& name_format,
                                                       const Cp932Text& capture_id,
                                                       const Cp932Text& transfer_folder,
                                                       const LocalTime& now, std::string* error);

}  // namespace velmarin
