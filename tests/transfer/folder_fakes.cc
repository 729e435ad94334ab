#include "transfer/folder_fakes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <new>
#include <thread>
#include <utility>

#include "base/atomic_file.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

std::int64_t CreationTime(const fs::path& path) {
  struct statx info {};
  statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info);
  const auto& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
  return static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
}

}  // namespace

std::optional<TransferTarget> FakePipeline::BuildTarget(const Settings&,
                                                        const Cp932Text& capture_id,
                                                        const LocalTime&,
                                                        const OpenTransferFolder& folder,
                                                        std::string* error) {
  Record({"build", {}, {}, capture_id.bytes()});
  if (build_error) {
    *error = *build_error;
    return std::nullopt;
  }
  std::lock_guard lock(mutex_);
  const fs::path name = transfer_folder_ / ("image" + std::to_string(++targets_built_) + ".jpg");
  EnsureParentFolders(LocateIn(folder, name));
  return TransferTarget(name, folder);
}

std::optional<Dib> FakePipeline::Read(const fs::path& still, StillFormat, ImageResult& result) {
  Record({"read", still, {}, {}});
  if (throw_out_of_memory > 0) {
    --throw_out_of_memory;
    throw std::bad_alloc();
  }
  if (unreadable > 0) {
    --unreadable;
    result.status = ImageStatus::kSourceNotOpened;
    return std::nullopt;
  }
  if (read_failure) {
    result.status = *read_failure;
    return std::nullopt;
  }
  return Dib::Create(4, 1, 24);
}

ImageResult FakePipeline::Process(CapturedPicture& picture, FileNaming& target, const Settings&,
                                  const Cp932Text& capture_id, const LocalTime&, LastErrorText&) {
  Record({"process", picture.file, target.name(), capture_id.bytes()});
  if (disk_full) return {ImageStatus::kTargetNotCreated, {}};
  if (before_write) before_write();
  return {CopyFileAtomically(picture.file, target, FileSync::kNotSynced)
              ? ImageStatus::kDone
              : ImageStatus::kTargetNotWritten,
          {}};
}

void FakePipeline::Record(Call call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<FakePipeline::Call> FakePipeline::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<FakePipeline::Call> FakePipeline::calls_of(const std::string& step) const {
  std::vector<Call> found;
  for (Call& call : calls()) {
    if (call.step == step) found.push_back(std::move(call));
  }
  return found;
}

std::vector<std::uint8_t> DecodedPixels(const fs::path& jpeg) {
  const auto dib = DecodeJpegFile(jpeg);
  if (!dib) return {};
  return {dib->pixels(), dib->pixels() + dib->stride() * static_cast<std::size_t>(dib->height())};
}

void WriteNewFile(const fs::path& path, std::string_view bytes) {
  static std::mutex mutex;
  static std::int64_t newest = 0;
  std::lock_guard lock(mutex);
  while (true) {
    WriteFileBytes(path, bytes);
    const std::int64_t created = CreationTime(path);
    if (created > newest) {
      newest = created;
      return;
    }
    fs::remove(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace velmarin::test
