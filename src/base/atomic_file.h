#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_naming.h"
#include "base/unique_fd.h"

namespace velmarin {

// Whether a replacement is forced to the disk before it takes the target's name (and the
// rename after it). Files that must survive a power cut are synced; work files that are
// rewritten from their source anyway are not.
enum class FileSync { kSynced, kNotSynced };

// A new file written beside its final name and then given that name (by default a rename,
// so the target is always either the old file or the complete new one). The temporary is
// ".<stem>.velmarin-XXXXXX", or ".<stem>.<mark>.velmarin-XXXXXX" with the naming's
// temporary_mark (the stem cut to 100 bytes, so a name near the 255-byte limit still fits),
// made where the naming's location() says, with the permissions of a plain new file, locked
// (flock) while it is written; it has no picture suffix, so no folder scan takes it. It is
// removed unless Commit succeeds; a process that is killed leaves it behind for
// RemoveStaleTemporaries.
// An unnamed temporary (O_TMPFILE, then linkat) would leave nothing behind, but only on local
// file systems: NFS and SMB folders refuse it, so they need the named one and its cleanup
// anyway, and a replacement needs a name for its rename. One kind of temporary everywhere
// keeps the path that network folders take the one every test runs.
class AtomicFile {
 public:
  // Replaces `target`.
  explicit AtomicFile(const std::filesystem::path& target);
  // Takes the name the way `naming` does; `naming` must outlive this object.
  explicit AtomicFile(FileNaming& naming);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // False (errno set) when the temporary could not be created.
  bool created() const { return fd_.valid(); }
  // The temporary's descriptor, for what is not a write (fchmod).
  int fd() const { return fd_.get(); }
  // Appends `bytes`. Each whole chunk of a large file is handed to the disk as soon as it is
  // written, so a synced Commit waits for the last chunk only, not for the whole file. False
  // (errno set) when the write failed.
  bool Write(std::string_view bytes);
  // The temporary as a stdio stream that writes through Write, with a large buffer; null
  // when that fails. Commit flushes and closes it.
  std::FILE* Stream();

  // The steps of Commit, so a caller can tell the user which one failed.
  enum class Step { kNone, kWrite, kSync, kClose, kRename };
  // Flushes, syncs when asked, closes and gives the file its name (kRename when that fails);
  // with kSynced the folder is synced too, so the new name itself survives a crash. On failure
  // errno is that of the step returned, the temporary is removed and the target is left as it was.
  // kNone: success.
  Step Commit(FileSync sync);

 private:
  // Closes and removes the temporary, errno kept.
  void Discard();

  std::optional<ReplacedName> replaced_;
  FileNaming& naming_;
  AtPath temporary_;
  UniqueFd fd_;
  std::uint64_t written_ = 0;      // bytes written to the temporary
  std::uint64_t handed_over_ = 0;  // of them, those whose write to the disk was started
  std::vector<char> stream_buffer_;
  UniqueFile stream_;
};

// True for a name an AtomicFile gives its temporary.
bool IsAtomicFileTemporaryName(std::string_view name);
// True for the name of a temporary made with the (non-empty) temporary mark `mark`.
bool IsOwnTemporaryName(std::string_view name, std::string_view mark);
// A new random temporary mark: letters and digits, never empty.
std::string NewTemporaryMark();
// True for a mark a temporary's name may carry: 1 to 32 letters and digits, so a mark read
// back from a file never leads the temporary out of its folder.
bool IsTemporaryMark(std::string_view mark);

// Copies `source` onto `target` through an AtomicFile. False (errno set) on any failure.
bool CopyFileAtomically(const std::filesystem::path& source, FileNaming& target, FileSync sync);
bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        FileSync sync);

}  // namespace velmarin
