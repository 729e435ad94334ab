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

bool CopyFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return !ec;
}

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

ImageResult FakePipeline::ConvertToJpeg(const fs::path& still, const fs::path& jpeg) {
  Record({"convert", still, jpeg, {}});
  if (convert_failure) return {*convert_failure, {}};
  return {CopyFile(still, jpeg) ? ImageStatus::kDone : ImageStatus::kTargetNotWritten, {}};
}

ImageResult FakePipeline::NormalizeWidth(const fs::path& jpeg, const fs::path& work_file) {
  Record({"normalize", jpeg, work_file, {}});
  if (throw_out_of_memory > 0) {
    --throw_out_of_memory;
    throw std::bad_alloc();
  }
  if (unreadable > 0) {
    --unreadable;
    return {ImageStatus::kSourceNotOpened, {}};
  }
  return {CopyFile(jpeg, work_file) ? ImageStatus::kDone : ImageStatus::kTargetNotWritten, {}};
}

ImageResult FakePipeline::Process(const fs::path& work_file, FileNaming& target, const Settings&,
                                  const Cp932Text& capture_id, const LocalTime&, LastErrorText&) {
  Record({"process", work_file, target.name(), capture_id.bytes()});
  if (disk_full) return {ImageStatus::kTargetNotCreated, {}};
  if (before_write) before_write();
  return {CopyFileAtomically(work_file, target, FileSync::kNotSynced)
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
