#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <string>
#include <string_view>

namespace velmarin {
namespace {

constexpr std::size_t kTemporaryStemBytes = 100;
// What follows the stem: a mark that tells the program's own temporaries from anybody else's
// hidden files, then six random letters or digits.
constexpr std::string_view kTemporaryMark = ".velmarin-";
constexpr std::size_t kRandomLetters = 6;
constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

UniqueFd CreateTemporary(const std::filesystem::path& target, std::filesystem::path* temporary) {
  if (target.filename().empty()) {
    errno = EISDIR;
    return UniqueFd();
  }
  std::random_device seed;
  std::minstd_rand random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
  const std::string prefix =
      "." + target.stem().string().substr(0, kTemporaryStemBytes) + std::string(kTemporaryMark);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (std::size_t i = 0; i < kRandomLetters; ++i) name += kLetters[pick(random)];
    *temporary = FolderOf(target) / name;
    UniqueFd fd(::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    // Locked while it is written, so a cleanup never takes a temporary still in use.
    if (fd.valid()) ::flock(fd.get(), LOCK_EX | LOCK_NB);
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

void SyncFolder(const std::filesystem::path& folder) {
  // A folder that cannot be synced is no reason to fail: the data is on the disk.
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

}  // namespace

bool IsAtomicFileTemporaryName(std::string_view name) {
  const std::size_t tail = kTemporaryMark.size() + kRandomLetters;
  if (name.size() < 1 + tail || name[0] != '.') return false;
  const std::string_view end = name.substr(name.size() - tail);
  return end.starts_with(kTemporaryMark) &&
         end.substr(kTemporaryMark.size()).find_first_not_of(kLetters) == std::string_view::npos;
}

AtomicFile::AtomicFile(const std::filesystem::path& target)
    : replaced_(std::in_place, target),
      naming_(*replaced_),
      fd_(CreateTemporary(target, &temporary_)) {}

AtomicFile::AtomicFile(FileNaming& naming)
    : naming_(naming), fd_(CreateTemporary(naming.name(), &temporary_)) {}

AtomicFile::~AtomicFile() {
  if (created()) Discard();
}

void AtomicFile::Discard() {
  const int saved = errno;
  stream_.reset();
  fd_.Close();
  ::unlink(temporary_.c_str());
  errno = saved;
}

std::FILE* AtomicFile::Stream() {
  if (!stream_ && fd_.valid()) {
    stream_.reset(::fdopen(fd_.get(), "wb"));
    if (stream_) fd_.release();
  }
  return stream_.get();
}

AtomicFile::Step AtomicFile::Commit(FileSync sync) {
  const auto fail = [this](Step step) {
    Discard();
    return step;
  };
  if (!created()) return Step::kWrite;
  if (stream_ && std::fflush(stream_.get()) != 0) return fail(Step::kWrite);
  const int fd = stream_ ? ::fileno(stream_.get()) : fd_.get();
  if (sync == FileSync::kSynced && ::fsync(fd) != 0) return fail(Step::kSync);
  const bool closed = stream_ ? std::fclose(stream_.release()) == 0 : fd_.Close();
  if (!closed) return fail(Step::kClose);
  if (!naming_.Place(temporary_)) return fail(Step::kRename);
  if (sync == FileSync::kSynced) SyncFolder(FolderOf(naming_.name()));
  return Step::kNone;
}

bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        FileSync sync) {
  ReplacedName name(target);
  return CopyFileAtomically(source, name, sync);
}

bool CopyFileAtomically(const std::filesystem::path& source, FileNaming& target, FileSync sync) {
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return false;
  AtomicFile out(target);
  if (!out.created()) return false;
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    if (!WriteAll(out.fd(), std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
      return false;
    }
  }
  return out.Commit(sync) == AtomicFile::Step::kNone;
}

}  // namespace velmarin
