#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/locked_fields.h"
#include "platform/modem_lines.h"

namespace velmarin::test {

// The modem lines of one scripted port. Thread-safe.
class ScriptedModemLines {
 public:
  // The word read once the queued words are used up.
  void SetStatus(std::uint32_t status) {
    const std::lock_guard lock(mutex_);
    status_ = status;
  }
  // Words read one per call, before the word of SetStatus.
  void QueueStatus(const std::vector<std::uint32_t>& words);
  void SetReadsFail(bool fail) {
    const std::lock_guard lock(mutex_);
    reads_fail_ = fail;
  }
  // A device without modem lines, as a pseudo-terminal: raising DTR and RTS fails.
  void SetNoModemLines() {
    const std::lock_guard lock(mutex_);
    no_modem_lines_ = true;
  }

  bool dtr_and_rts_raised() const { return LockedGet(mutex_, dtr_and_rts_raised_); }
  int status_reads() const { return LockedGet(mutex_, status_reads_); }

  bool Read(std::uint32_t* status);
  bool RaiseDtrRts();

 private:
  mutable std::mutex mutex_;
  std::uint32_t status_ = 0;
  std::deque<std::uint32_t> queued_;
  bool reads_fail_ = false;
  bool no_modem_lines_ = false;
  bool dtr_and_rts_raised_ = false;
  int status_reads_ = 0;
};

// Serial ports by switch-device name: those added exist; a busy one is held by "another
// program"; an open one is held exclusively until its handle goes, as real ports are.
class ScriptedSerialOpener final : public SerialPortOpener {
 public:
  std::shared_ptr<ScriptedModemLines> AddPort(const std::string& name, bool busy = false);
  // The port is gone, as an unplugged adapter: reads on its open handle fail and it no longer
  // opens. AddPort brings it back.
  void Unplug(const std::string& name);
  void SetUsbSerialDeviceNames(std::vector<std::string> names) {
    const std::lock_guard lock(mutex_);
    usb_names_ = std::move(names);
  }

  std::unique_ptr<SerialPort> Open(const std::string& name) override;
  std::vector<std::string> UsbSerialDeviceNames() override { return LockedGet(mutex_, usb_names_); }

  bool IsHeld(const std::string& name) const;
  std::vector<std::string> open_attempts() const { return LockedGet(mutex_, open_attempts_); }

 private:
  struct Port {
    std::shared_ptr<ScriptedModemLines> lines;
    bool busy = false;
    bool held = false;
  };
  class Handle;
  void Release(const std::string& name);

  mutable std::mutex mutex_;
  std::map<std::string, Port> ports_;
  std::vector<std::string> usb_names_;
  std::vector<std::string> open_attempts_;
};

}  // namespace velmarin::test
