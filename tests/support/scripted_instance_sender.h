#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "dicom/instance_sender.h"

namespace velmarin::test {

// An InstanceSender that answers each send as the test scripted it (success when nothing is
// scripted) and remembers what it was given. A send may be held until the test lets it go
// or the sender is interrupted.
class ScriptedInstanceSender final : public InstanceSender {
 public:
  struct Sent {
    DicomDestination destination;
    InstanceFacts facts;
    std::string jpeg;
  };

  // The outcomes of the next sends, in order.
  void Script(std::vector<DicomOutcome> outcomes);
  // Sends from now on wait in Send until Release (or an interrupt).
  void Hold();
  void Release();

  DicomOutcome Send(const DicomDestination& destination, const InstanceFacts& facts,
                    std::string_view jpeg) override;
  void Interrupt() override;

  std::vector<Sent> sent() const;
  // Waits (bounded) until `count` sends have begun; false at the limit.
  bool WaitForSends(std::size_t count, std::chrono::milliseconds limit) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<DicomOutcome> script_;
  std::vector<Sent> sent_;
  bool held_ = false;
  bool interrupted_ = false;
};

}  // namespace velmarin::test
