#include "support/scripted_instance_sender.h"

namespace velmarin::test {

void ScriptedInstanceSender::Script(std::vector<DicomOutcome> outcomes) {
  std::lock_guard lock(mutex_);
  script_.insert(script_.end(), outcomes.begin(), outcomes.end());
}

void ScriptedInstanceSender::Hold() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void ScriptedInstanceSender::Release() {
  {
    std::lock_guard lock(mutex_);
    held_ = false;
  }
  changed_.notify_all();
}

DicomOutcome ScriptedInstanceSender::Send(const DicomDestination& destination,
                                          const InstanceFacts& facts, std::string_view jpeg) {
  std::unique_lock lock(mutex_);
  sent_.push_back({destination, facts, std::string(jpeg)});
  changed_.notify_all();
  changed_.wait(lock, [this] { return !held_ || interrupted_; });
  if (interrupted_) return {DicomResult::kStopped, "stopped"};
  if (script_.empty()) return {};
  DicomOutcome outcome = script_.front();
  script_.pop_front();
  return outcome;
}

void ScriptedInstanceSender::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
  }
  changed_.notify_all();
}

std::vector<ScriptedInstanceSender::Sent> ScriptedInstanceSender::sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

bool ScriptedInstanceSender::WaitForSends(std::size_t count,
                                          std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return sent_.size() >= count; });
}

}  // namespace velmarin::test
