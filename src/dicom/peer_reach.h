#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "dicom/network_interrupt.h"

namespace velmarin {

// Whether a TCP connection to the PACS can be made now, and if not why, in words for the
// user. The connection is closed again: DCMTK makes its own, which is then sure to find the
// host; this one's wait ends at once when `interrupt` is triggered, a stop never waits for a
// host that does not answer.
struct PeerReach {
  enum class Result { kReached, kNotResolved, kRefused, kNoRoute, kNoAnswer, kStopped };
  Result result = Result::kReached;
  std::string text;  // empty when reached
};

// Whether `host` resolves now; nullopt when it does, else why not.
std::optional<std::string> HostResolutionProblem(const std::string& host);

PeerReach ReachPeer(const std::string& host, int port, std::chrono::seconds timeout,
                    NetworkInterrupt& interrupt);

}  // namespace velmarin
