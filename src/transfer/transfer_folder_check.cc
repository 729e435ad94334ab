#include "transfer/transfer_folder_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/state_fields.h"

namespace velmarin {

std::optional<FolderPlace> RealFolderPlace(const std::filesystem::path& path) {
  struct stat info {};
  struct statfs fs {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || statfs(path.c_str(), &fs) != 0) {
    return std::nullopt;
  }
  return FolderPlace{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(fs.f_type)};
}

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStateHeader = "velmarin transfer folders 1";

bool IsWithin(const fs::path& folder, const fs::path& point) {
  const fs::path normal = folder.lexically_normal();
  return std::mismatch(point.begin(), point.end(), normal.begin(), normal.end()).first ==
         point.end();
}

// The folder that holds `folder` ("/a/b/" and "/a/b" are both in "/a").
fs::path FolderAbove(const fs::path& folder) {
  const fs::path normal = folder.lexically_normal();
  return normal.has_filename() ? normal.parent_path() : normal.parent_path().parent_path();
}

// Which folder this is: the device and inode of the folder `fd` holds, or of the one at `path`.
std::optional<std::pair<dev_t, ino_t>> IdentityOf(int fd, const char* path) {
  struct stat info {};
  if (::fstatat(fd, path, &info, path[0] == '\0' ? AT_EMPTY_PATH : 0) != 0) return std::nullopt;
  return std::pair{info.st_dev, info.st_ino};
}

bool SameFolder(const UniqueFd& opened, const fs::path& path) {
  const auto held = IdentityOf(opened.get(), "");
  return held && held == IdentityOf(AT_FDCWD, path.c_str());
}

// Which program folder the state belongs to: its inode and file-system type. A copy of the
// folder on another disk is another one (device numbers are not compared: they may change
// from one start to the next).
std::string StationOf(const fs::path& program_folder) {
  struct stat info {};
  struct statfs fs {};
  if (stat(program_folder.c_str(), &info) != 0 || statfs(program_folder.c_str(), &fs) != 0) {
    return {};
  }
  return std::to_string(info.st_ino) + '\t' + std::to_string(fs.f_type);
}

}  // namespace

void TransferFolderCheck::KeepIn(fs::path file, std::function<void(const OwnMessage&)> report) {
  file_ = std::move(file);
  report_ = std::move(report);
  const std::string station = StationOf(file_->parent_path());
  std::error_code ec;
  std::string why;
  bool same_station = false;
  if (fs::exists(fs::symlink_status(*file_, ec))) {
    std::ifstream in(*file_, std::ios::binary);
    std::ostringstream read;
    if (in) read << in.rdbuf();
    const std::string text = read.str();
    std::vector<std::string_view> lines = SplitFields(text, '\n');
    if (!in || lines.size() < 2 || lines.front() != kStateHeader || !lines.back().empty()) {
      why = in ? "not a file of this program, or cut short" : ErrnoText(errno);
      lines.clear();
    } else {
      lines.pop_back();
    }
    std::map<fs::path, Origin> origins;
    for (std::size_t i = 1; i < lines.size() && why.empty(); ++i) {
      const std::vector<std::string_view> fields = SplitFields(lines[i]);
      const std::string_view kind = fields.front();
      if (kind == "temporaries" && fields.size() == 2 && IsTemporaryMark(fields[1])) {
        temporary_mark_ = fields[1];
      } else if (kind == "station" && fields.size() == 3) {
        same_station = std::string(fields[1]) + '\t' + std::string(fields[2]) == station;
      } else if (kind == "chosen" && fields.size() == 2 && UnescapeField(fields[1])) {
        chosen_ = *UnescapeField(fields[1]);
      } else if (const auto path = fields.size() == 6 ? UnescapeField(fields[1]) : std::nullopt;
                 kind == "folder" && path) {
        const auto device = NumberField<std::uint64_t>(fields[2]);
        const auto type = NumberField<std::uint64_t>(fields[3]);
        const auto below = NumberField<std::uint64_t>(fields[4]);
        if (!device || !type || (!below && fields[4] != "-") ||
            (fields[5] != "0" && fields[5] != "1")) {
          why = "line " + std::to_string(i + 1) + " is damaged";
        }
        origins[*path] = {{device.value_or(0), type.value_or(0)}, below, fields[5] == "1"};
      } else {
        why = "line " + std::to_string(i + 1) + " is damaged";
      }
    }
    if (why.empty() && same_station) {
      origins_ = std::move(origins);
    } else {
      chosen_.reset();
    }
    if (!why.empty()) {
      report_({"the file " + file_->string() + " cannot be read (" + why +
                   "); every transfer folder is taken as first seen",
               "転送先フォルダーの記録 " + file_->string() + " を読めません（" + why +
                   "）。転送先フォルダーはどれも初めて使うものとして扱います。"});
    }
  }
  const bool new_mark = temporary_mark_.empty();
  if (new_mark) temporary_mark_ = NewTemporaryMark();
  // Written anew unless it holds what was read: damage is said once.
  if (!same_station || !why.empty() || new_mark) Save();
}

void TransferFolderCheck::Save() {
  if (!file_) return;
  std::string text(kStateHeader);
  text +=
      "\ntemporaries\t" + temporary_mark_ + "\nstation\t" + StationOf(file_->parent_path()) + '\n';
  if (chosen_) text += "chosen\t" + EscapeField(chosen_->native()) + '\n';
  for (const auto& [folder, origin] : origins_) {
    text += "folder\t" + EscapeField(folder.native()) + '\t' + std::to_string(origin.place.device) +
            '\t' + std::to_string(origin.place.fs_type) + '\t' +
            (origin.below ? std::to_string(*origin.below) : std::string("-")) + '\t' +
            (origin.mount_root ? "1" : "0") + '\n';
  }
  AtomicFile out(*file_);
  const bool saved = out.created() && WriteAll(out.fd(), text) &&
                     out.Commit(FileSync::kSynced) == AtomicFile::Step::kNone;
  if (!saved && !save_failed_ && report_) {
    const std::string why = ErrnoText(errno);
    report_({"the file " + file_->string() + " cannot be written (" + why +
                 "); after a restart the transfer folder is taken as first seen",
             "転送先フォルダーの記録 " + file_->string() + " に書き込めません（" + why +
                 "）。次の起動では転送先フォルダーを初めて使うものとして扱います。"});
  }
  save_failed_ = !saved;
}

std::optional<std::uint64_t> TransferFolderCheck::DeviceBelow(const fs::path& folder,
                                                              std::uint64_t device) const {
  for (fs::path above = FolderAbove(folder); !above.empty(); above = FolderAbove(above)) {
    if (const auto up = place_of_(above); up && up->device != device) return up->device;
    if (above == above.root_path()) break;
  }
  return std::nullopt;
}

std::optional<TransferFolderCheck::Origin> TransferFolderCheck::OriginNow(
    const fs::path& folder) const {
  const auto place = place_of_(folder);
  if (!place) return std::nullopt;
  const auto up = place_of_(FolderAbove(folder));
  return Origin{*place, DeviceBelow(folder, place->device), up && up->device != place->device};
}

void TransferFolderCheck::Choose(const fs::path& folder) {
  if (chosen_ == folder) {
    Remember(folder);
    return;
  }
  if (const auto known = origins_.find(folder); known != origins_.end()) {
    const auto place = place_of_(folder);
    const auto& below = known->second.below;
    if (!place || !below || place->device != *below) origins_.erase(known);
  }
  chosen_ = folder;
  const std::size_t remembered = origins_.size();
  Remember(folder);
  if (origins_.size() == remembered) Save();
}

void TransferFolderCheck::Remember(const fs::path& folder) {
  if (origins_.contains(folder)) return;
  for (const fs::path& point : unmounted_()) {
    if (IsWithin(folder, point)) return;
  }
  const auto origin = OriginNow(folder);
  if (!origin) return;
  origins_.emplace(folder, *origin);
  Save();
}

bool TransferFolderCheck::Available(const fs::path& folder) {
  Remember(folder);
  const auto place = place_of_(folder);
  const auto origin = origins_.find(folder);
  if (!place || origin == origins_.end()) return false;
  const Origin& was = origin->second;
  if (place->device == was.place.device) return true;
  if (was.below && place->device == *was.below) return false;
  if (!was.mount_root && DeviceBelow(folder, place->device) == was.place.device) {
    // Another file system mounted over the folder that was first seen on the one above it:
    // the share that was down then. What went into the folder before is hidden below it.
    if (const auto now = OriginNow(folder)) {
      origin->second = *now;
      Save();
      if (report_) {
        report_({"the transfer folder " + folder.string() +
                     " is now a file system mounted over the folder first seen there; images "
                     "written into that folder before lie hidden below the mount",
                 "転送先フォルダー " + folder.string() +
                     " に、初めて使ったときにはなかったファイルシステムがマウントされました。"
                     "それまでに転送した画像はマウントの下に隠れています。"});
      }
      return true;
    }
  }
  return place->fs_type == was.place.fs_type;
}

std::optional<UniqueFd> TransferFolderCheck::Open(const fs::path& folder) {
  UniqueFd opened(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!opened.valid() || !Available(folder) || !SameFolder(opened, folder)) return std::nullopt;
  return opened;
}

bool TransferFolderCheck::Holds(const fs::path& folder, const UniqueFd& opened) {
  return Available(folder) && SameFolder(opened, folder);
}

}  // namespace velmarin
