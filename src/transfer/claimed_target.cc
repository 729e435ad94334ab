#include "transfer/claimed_target.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/unique_fd.h"

namespace velmarin {

std::optional<std::string> ContentHash(const AtPath& file) {
  const UniqueFd fd(::openat(file.folder, file.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    hash.addData(QByteArrayView(buffer.data(), got));
  }
  return hash.result().toHex().toStdString();
}

bool WasSent(const ClaimedTarget& claimed, const OpenTransferFolder& folder) {
  return ContentHash(LocateIn(folder, claimed.target)) == claimed.content_hash;
}

}  // namespace velmarin
