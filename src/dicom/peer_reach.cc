#include "dicom/peer_reach.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "base/errno_text.h"
#include "base/unique_fd.h"

namespace velmarin {
namespace {

using Clock = std::chrono::steady_clock;

struct AddressInfoFree {
  void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

// Connects to one address; 0 when connected, else the errno (ETIMEDOUT at the deadline,
// ECANCELED when interrupted).
int ConnectOnce(const addrinfo& address, Clock::time_point deadline, NetworkInterrupt& interrupt) {
  UniqueFd socket(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                           address.ai_protocol));
  if (!socket.valid()) return errno;
  if (connect(socket.get(), address.ai_addr, address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd waits[2] = {{socket.get(), POLLOUT, 0}, {interrupt.fd(), POLLIN, 0}};
    const int ready = poll(waits, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return errno;
    if (interrupt.triggered()) return ECANCELED;
    if (ready > 0 && waits[0].revents != 0) {
      int error = 0;
      socklen_t size = sizeof error;
      if (getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
      return error;
    }
  }
}

using AddressList = std::unique_ptr<addrinfo, AddressInfoFree>;

// The addresses of host:port, or why there are none.
AddressList Resolve(const std::string& host, int port, std::string* problem) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved == 0) return AddressList(found);
  *problem = "the host " + host + " does not resolve (" +
             (resolved == EAI_SYSTEM ? ErrnoText(errno) : std::string(gai_strerror(resolved))) +
             ")";
  return nullptr;
}

}  // namespace

std::optional<std::string> HostResolutionProblem(const std::string& host) {
  std::string problem;
  if (Resolve(host, 104, &problem)) return std::nullopt;
  return problem;
}

PeerReach ReachPeer(const std::string& host, int port, std::chrono::seconds timeout,
                    NetworkInterrupt& interrupt) {
  using Result = PeerReach::Result;
  if (interrupt.triggered()) return {Result::kStopped, "stopped"};
  const std::string where = host + ":" + std::to_string(port);
  std::string problem;
  const AddressList addresses = Resolve(host, port, &problem);
  if (!addresses) return {Result::kNotResolved, problem};
  const auto deadline = Clock::now() + timeout;
  int error = ENOENT;
  // The addresses in the resolver's order; the first that connects is enough.
  for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
    error = ConnectOnce(*address, deadline, interrupt);
    if (error == 0) return {};
    if (error == ECANCELED) return {Result::kStopped, "stopped"};
    if (error == ETIMEDOUT) break;
  }
  switch (error) {
    case ECONNREFUSED:
      return {Result::kRefused, where + " refused the connection (no DICOM service listens there)"};
    case ETIMEDOUT:
      return {Result::kNoAnswer,
              where + " did not answer within " + std::to_string(timeout.count()) + " s"};
    default:
      return {Result::kNoRoute, "no route to " + where + " (" + ErrnoText(error) + ")"};
  }
}

}  // namespace velmarin
