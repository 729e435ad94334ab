#include "support/scripted_serial_port.h"

namespace velmarin::test {

void ScriptedModemLines::QueueStatus(const std::vector<std::uint32_t>& words) {
  const std::lock_guard lock(mutex_);
  queued_.insert(queued_.end(), words.begin(), words.end());
}

bool ScriptedModemLines::Read(std::uint32_t* status) {
  const std::lock_guard lock(mutex_);
  ++status_reads_;
  if (reads_fail_) return false;
  if (queued_.empty()) {
    *status = status_;
  } else {
    *status = queued_.front();
    queued_.pop_front();
  }
  return true;
}

bool ScriptedModemLines::RaiseDtrRts() {
  const std::lock_guard lock(mutex_);
  if (no_modem_lines_) return false;
  dtr_and_rts_raised_ = true;
  return true;
}

class ScriptedSerialOpener::Handle final : public SerialPort {
 public:
  Handle(ScriptedSerialOpener& opener, std::string name, std::shared_ptr<ScriptedModemLines> lines)
      : opener_(opener), name_(std::move(name)), lines_(std::move(lines)) {}
  ~Handle() override { opener_.Release(name_); }

  bool RaiseDtrRts() override { return lines_->RaiseDtrRts(); }
  bool ReadModemStatus(std::uint32_t* status) override { return lines_->Read(status); }

 private:
  ScriptedSerialOpener& opener_;
  const std::string name_;
  const std::shared_ptr<ScriptedModemLines> lines_;
};

std::shared_ptr<ScriptedModemLines> ScriptedSerialOpener::AddPort(const std::string& name,
                                                                  bool busy) {
  const std::lock_guard lock(mutex_);
  Port& port = ports_[name];
  port.lines = std::make_shared<ScriptedModemLines>();
  port.busy = busy;
  return port.lines;
}

std::unique_ptr<SerialPort> ScriptedSerialOpener::Open(const std::string& name) {
  const std::lock_guard lock(mutex_);
  open_attempts_.push_back(name);
  const auto found = ports_.find(name);
  if (found == ports_.end() || found->second.busy || found->second.held) return nullptr;
  found->second.held = true;
  return std::make_unique<Handle>(*this, name, found->second.lines);
}

bool ScriptedSerialOpener::IsHeld(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  const auto found = ports_.find(name);
  return found != ports_.end() && found->second.held;
}

void ScriptedSerialOpener::Unplug(const std::string& name) {
  const std::lock_guard lock(mutex_);
  const auto found = ports_.find(name);
  if (found == ports_.end()) return;
  found->second.lines->SetReadsFail(true);
  ports_.erase(found);
}

void ScriptedSerialOpener::Release(const std::string& name) {
  const std::lock_guard lock(mutex_);
  if (const auto found = ports_.find(name); found != ports_.end()) found->second.held = false;
}

}  // namespace velmarin::test
