#include "base/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

namespace velmarin {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now so the caller sees the result (a delayed write error shows up here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool CopyContents(int from, int to) {
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(got))) return false;
  }
}

// Bytes of the target's stem kept in a temporary name, so that a target name near the
// 255-byte limit still leaves room for the temporary's.
constexpr std::size_t kTemporaryStemBytes = 100;

// Creates ".<stem>.XXXXXX" beside `target` with the usual permissions (0666 less umask). The
// name lacks ".jpg", so a folder scan for pictures never takes it.
int CreateTemporary(const std::filesystem::path& target, std::filesystem::path* temporary) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::minstd_rand random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "." + target.stem().string().substr(0, kTemporaryStemBytes) + ".";
    for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
    *temporary = target.parent_path() / name;
    const int fd = ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target) {
  ReplacedName name(target);
  return CopyFileAtomically(source, name);
}

bool CopyFileAtomically(const std::filesystem::path& source, FileNaming& target) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  std::filesystem::path temporary;
  Fd out(CreateTemporary(target.name(), &temporary));
  if (out.get() < 0) return false;
  const bool written = CopyContents(in.get(), out.get()) && ::fsync(out.get()) == 0;
  if (out.Close() && written && target.Place(temporary)) return true;
  std::error_code ignored;
  std::filesystem::remove(temporary, ignored);
  return false;
}

}  // namespace velmarin
