#include "transfer/claimed_target.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/c_handle.h"
#include "base/unique_fd.h"

namespace velmarin {

std::optional<std::string> ContentHash(const AtPath& file) {
  const UniqueFd fd(::openat(file.folder, file.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  // OpenSSL's, which uses the processor's SHA instructions: a 24 MP image in a few
  // milliseconds where a plain implementation takes a tenth of a second.
  const CHandle<EVP_MD_CTX, EVP_MD_CTX_free> hash(EVP_MD_CTX_new());
  if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    if (EVP_DigestUpdate(hash.get(), buffer.data(), static_cast<std::size_t>(got)) != 1) {
      return std::nullopt;
    }
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(hash.get(), digest.data(), &length) != 1) return std::nullopt;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

bool WasSent(const ClaimedTarget& claimed, const OpenTransferFolder& folder) {
  return ContentHash(LocateIn(folder, claimed.target)) == claimed.content_hash;
}

}  // namespace velmarin
