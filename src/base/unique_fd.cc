#include "base/unique_fd.h"

#include <unistd.h>

#include <cerrno>

namespace velmarin {

bool UniqueFd::Close() {
  if (fd_ < 0) return false;
  return ::close(release()) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  return true;
}

}  // namespace velmarin
