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
constexpr std::size_t kNewMarkLetters = 10;
constexpr std::size_t kMaxMarkLetters = 32;
// The chunk of a large file whose write to the disk is started once it is written, and the
// buffer of the stream: a 24 MP image is about ten of them.
constexpr std::size_t kChunk = std::size_t{1} << 20;

std::string RandomLetters(std::size_t count) {
  std::random_device seed;
  std::minstd_rand random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
  std::string letters;
  for (std::size_t i = 0; i < count; ++i) letters += kLetters[pick(random)];
  return letters;
}

// The folder of `file`, for the *at() calls.
AtPath FolderOf(const AtPath& file) {
  return {file.folder,
          file.path.has_parent_path() ? file.path.parent_path() : std::filesystem::path(".")};
}

UniqueFd CreateTemporary(const AtPath& target, std::string_view mark, AtPath* temporary) {
  if (target.path.filename().empty()) {
    errno = EISDIR;
    return UniqueFd();
  }
  std::string prefix = "." + target.path.stem().string().substr(0, kTemporaryStemBytes);
  if (!mark.empty()) prefix += "." + std::string(mark);
  prefix += kTemporaryMark;
  const AtPath folder = FolderOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = {folder.folder, folder.path / (prefix + RandomLetters(kRandomLetters))};
    UniqueFd fd(::openat(temporary->folder, temporary->path.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    // Locked while it is written, so a cleanup never takes a temporary still in use.
    if (fd.valid()) ::flock(fd.get(), LOCK_EX | LOCK_NB);
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

// The stream's writes go to AtomicFile::Write.
ssize_t WriteToAtomicFile(void* file, const char* bytes, std::size_t size) {
  if (!static_cast<AtomicFile*>(file)->Write(std::string_view(bytes, size))) return -1;
  return static_cast<ssize_t>(size);
}

void SyncFolder(const AtPath& folder) {
  // A folder that cannot be synced is no reason to fail: the data is on the disk.
  UniqueFd fd(::openat(folder.folder, folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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

bool IsOwnTemporaryName(std::string_view name, std::string_view mark) {
  if (mark.empty() || !IsAtomicFileTemporaryName(name)) return false;
  const std::string_view head =
      name.substr(0, name.size() - kTemporaryMark.size() - kRandomLetters);
  return head.size() > mark.size() + 1 && head.ends_with(mark) &&
         head[head.size() - mark.size() - 1] == '.';
}

std::string NewTemporaryMark() { return RandomLetters(kNewMarkLetters); }

bool IsTemporaryMark(std::string_view mark) {
  return !mark.empty() && mark.size() <= kMaxMarkLetters &&
         mark.find_first_not_of(kLetters) == std::string_view::npos;
}

AtomicFile::AtomicFile(const std::filesystem::path& target)
    : replaced_(std::in_place, target),
      naming_(*replaced_),
      temporary_(target),
      fd_(CreateTemporary(target, {}, &temporary_)) {}

AtomicFile::AtomicFile(FileNaming& naming)
    : naming_(naming),
      temporary_(naming.name()),
      fd_(CreateTemporary(naming.location(), naming.temporary_mark(), &temporary_)) {}

AtomicFile::~AtomicFile() {
  if (created()) Discard();
}

void AtomicFile::Discard() {
  const int saved = errno;
  stream_.reset();
  fd_.Close();
  ::unlinkat(temporary_.folder, temporary_.path.c_str(), 0);
  errno = saved;
}

bool AtomicFile::Write(std::string_view bytes) {
  if (!WriteAll(fd_.get(), bytes)) return false;
  written_ += bytes.size();
  if (written_ - handed_over_ >= kChunk) {
    // Only a start, which a file system may ignore: the sync at Commit is what counts.
    ::sync_file_range(fd_.get(), static_cast<off64_t>(handed_over_),
                      static_cast<off64_t>(written_ - handed_over_), SYNC_FILE_RANGE_WRITE);
    handed_over_ = written_;
  }
  return true;
}

std::FILE* AtomicFile::Stream() {
  if (!stream_ && fd_.valid()) {
    stream_.reset(::fopencookie(this, "wb", {nullptr, WriteToAtomicFile, nullptr, nullptr}));
    if (stream_) {
      stream_buffer_.resize(kChunk);
      std::setvbuf(stream_.get(), stream_buffer_.data(), _IOFBF, stream_buffer_.size());
    }
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
  stream_.reset();
  if (sync == FileSync::kSynced && ::fsync(fd_.get()) != 0) return fail(Step::kSync);
  if (!fd_.Close()) return fail(Step::kClose);
  if (!naming_.Place(temporary_)) return fail(Step::kRename);
  if (sync == FileSync::kSynced) SyncFolder(FolderOf(naming_.location()));
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
    if (!out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
      return false;
    }
  }
  return out.Commit(sync) == AtomicFile::Step::kNone;
}

}  // namespace velmarin
