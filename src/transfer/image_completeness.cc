#include "transfer/image_completeness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/unique_fd.h"
#include "image/jpeg_codec.h"

namespace velmarin {
namespace {

using Clock = std::chrono::steady_clock;

// The tail read for the end-of-image test; trailing zero bytes beyond it are not trimmed.
constexpr long kTailBytes = 64 * 1024;

// Whether the last bytes of `file` are an end-of-image marker (trailing zero bytes aside). A
// file cut short has none and is not handed to the decoder.
bool EndsWithEndOfImage(std::FILE* file, std::uint64_t size) {
  const long tail = static_cast<long>(std::min<std::uint64_t>(size, kTailBytes));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(tail));
  if (std::fseek(file, -tail, SEEK_END) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    return false;
  }
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  return bytes.size() >= 2 && bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9;
}

// What can change while a file is written: a file put in its place has another inode.
struct Snapshot {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const Snapshot&) const = default;
};

std::optional<Snapshot> Observe(const std::filesystem::path& file) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return Snapshot{info.st_dev, info.st_ino, info.st_size,
                  std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// How long ago, by the wall clock, the file was last modified (0 for a time in the future).
std::chrono::nanoseconds SinceModified(const Snapshot& snapshot) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto age = std::chrono::duration_cast<std::chrono::nanoseconds>(now) -
                   std::chrono::nanoseconds(snapshot.modified_ns);
  return std::max(age, std::chrono::nanoseconds::zero());
}

}  // namespace

bool IsCleanWholeJpeg(const std::filesystem::path& file) {
  // Non-blocking, so an entry swapped for a FIFO meanwhile cannot hold the thread.
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  UniqueFile stream(fdopen(fd, "rb"));
  if (!stream) {
    close(fd);
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return false;
  std::array<std::uint8_t, 2> start{};
  if (std::fread(start.data(), 1, start.size(), stream.get()) != start.size() || start[0] != 0xFF ||
      start[1] != 0xD8) {
    return false;
  }
  if (!EndsWithEndOfImage(stream.get(), static_cast<std::uint64_t>(info.st_size))) return false;
  std::rewind(stream.get());
  return ReadJpegToDib(stream.get(), JpegWarnings::kRefuseSilently).has_value();
}

Completeness WaitUntilComplete(const std::filesystem::path& file, std::stop_token stop,
                               const CompletenessLimits& limits) {
  const auto start = limits.clock();
  const auto deadline = start + limits.max_wait;
  if (IsCleanWholeJpeg(file)) return Completeness::kComplete;
  std::optional<Snapshot> last = Observe(file);
  if (!last) return Completeness::kVanished;
  // A file last modified a while ago has already been still for that long.
  auto unchanged_since =
      start - std::min<Clock::duration>(SinceModified(*last), limits.settle_time);
  while (true) {
    const auto now = limits.clock();
    if (now - unchanged_since >= limits.settle_time) return Completeness::kComplete;
    if (now >= deadline) return Completeness::kTimedOut;
    if (!limits.pause(stop, limits.check_interval)) return Completeness::kStopped;
    const std::optional<Snapshot> current = Observe(file);
    if (!current) return Completeness::kVanished;
    if (*current == *last) continue;
    last = current;
    unchanged_since = limits.clock();
    if (IsCleanWholeJpeg(file)) return Completeness::kComplete;
  }
}

}  // namespace velmarin
