#pragma once

#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"
#include "base/file_naming.h"
#include "naming/local_time.h"
#include "platform/folder_stamp.h"

namespace velmarin {

// True when a file-status query on `path` succeeds (files and folders alike).
bool PathExists(const AtPath& path);

// Creates every missing folder on the way to the file `path`; true when all exist after.
bool EnsureParentFolders(const AtPath& path);

// The transfer folder while one image goes into it: its files and folders are made relative
// to `fd`, held open by the caller (TransferFolderCheck::Open) from the check of the folder
// until the image has its name, so a share that drops meanwhile never gets the image onto
// the disk below its mount point. With AT_FDCWD the folder is used by its path.
struct OpenTransferFolder {
  int fd = AT_FDCWD;
  std::filesystem::path path;  // UTF-8, the transfer folder as its setting names it
  std::string temporary_mark;  // this station's mark on its temporaries (FileNaming)
};

// Where `file`, a path in `folder`, is made: relative to the folder's descriptor; by its path
// when the folder has none, or when the file lies outside it ("$r" in the folder's own name).
AtPath LocateIn(const OpenTransferFolder& folder, const std::filesystem::path& file);

// A path with a serial number: every occurrence of `placeholder` ("$r" and the two bytes
// behind it) stands for the number, written with at least `width` digits.
struct SerialPattern {
  std::string path;  // code page 932
  std::string placeholder;
  int width = 0;

  std::string With(int serial) const;
};

// What a serial search that may use the process's memo (SerialMemo) leaves for its claim.
struct SerialMemoNote {
  std::string key;       // the pattern of the names
  FolderStamp searched;  // the folder's stamp when the search began
  AtPath folder;         // the folder searched
};

// The target of one transferred image as the serial search found it. With "$r" in the name the
// file claims its name (ClaimName) and never replaces a file: when another program took the
// name since the search, the next serial of the same search is tried, and so on; the folders of
// each new name are created. Without "$r" the name is replaced.
class TransferTarget final : public FileNaming {
 public:
  // A name without a serial: replaced.
  explicit TransferTarget(std::filesystem::path name, OpenTransferFolder folder = {})
      : name_(std::move(name)), folder_(std::move(folder)) {}

  const std::filesystem::path& name() const override { return name_; }
  AtPath location() const override { return LocateIn(folder_, name_); }
  std::string_view temporary_mark() const override { return folder_.temporary_mark; }
  bool Place(const AtPath& temporary) override;
  // Why the last Place failed when no serial was left to try; empty otherwise.
  const std::string& error() const { return error_; }

  // Called with the finished temporary and the name it is about to take, before each claim
  // (or replacement), so a crash between the claim and what follows it can be told from one
  // before it. False holds the image back: nothing is claimed, and Place fails with ECANCELED.
  using BeforeClaim = std::function<bool(const AtPath& temporary, const std::filesystem::path&)>;
  void SetBeforeClaim(BeforeClaim before_claim) { before_claim_ = std::move(before_claim); }

 private:
  friend std::optional<TransferTarget> BuildTransferTarget(const Cp932Text&, const Cp932Text&,
                                                           const Cp932Text&,
                                                           const OpenTransferFolder&,
                                                           const LocalTime&, std::string*);
  TransferTarget(std::filesystem::path name, OpenTransferFolder folder, SerialPattern pattern,
                 int serial, std::optional<SerialMemoNote> memo)
      : name_(std::move(name)),
        folder_(std::move(folder)),
        pattern_(std::move(pattern)),
        serial_(serial),
        memo_(std::move(memo)) {}
  void NoteClaimInMemo() const;

  std::filesystem::path name_;
  OpenTransferFolder folder_;
  std::optional<SerialPattern> pattern_;
  int serial_ = 0;  // the number in name_
  std::optional<SerialMemoNote> memo_;
  std::string error_;
  BeforeClaim before_claim_;
};

// The target of the next transferred image: `name_format` expanded with
// `capture_id` and `now`, placed in `transfer_folder` with ".jpg" appended, "$r" resolved to
// a free serial number, missing folders created. Inputs are code page 932; the result is a
// UTF-8 file-system path in which every backslash of the expansion became a "/". The search,
// the folders and the file itself are made in `opened` (the transfer folder held open).
// nullopt with `error` set when no safe path can be built (nothing is ever overwritten).
std::optional<TransferTarget> BuildTransferTarget(const Cp932Text& name_format,
                                                  const Cp932Text& capture_id,
                                                  const Cp932Text& transfer_folder,
                                                  const OpenTransferFolder& opened,
                                                  const LocalTime& now, std::string* error);

// The name BuildTransferTarget would choose now, as a preview shows it: a dry run that creates
// no folder. `transfer_folder` is resolved as the transfer resolves it (FolderInProgramDir).
std::optional<std::filesystem::path> BuildTransferPath(const Cp932Text& name_format,
                                                       const Cp932Text& capture_id,
                                                       const Cp932Text& transfer_folder,
                                                       const LocalTime& now, std::string* error);

}  // namespace velmarin
