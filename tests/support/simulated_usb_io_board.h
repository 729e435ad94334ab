#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "base/locked_fields.h"
#include "platform/hid_transport.h"

namespace velmarin::test {

// A USB-IO board as the tests need it: it answers each read command (0x03, 0x04, 0x14..0x17)
// with an input report carrying the pin byte at offset 2 and the command's sequence byte at
// offset 7, and records every output report. Every setter may be called from any thread.
class SimulatedUsbIoBoard {
 public:
  explicit SimulatedUsbIoBoard(std::string path, std::uint16_t vendor_id = 0x0BFE,
                               std::uint16_t product_id = 0x1003);

  const std::string& path() const { return path_; }
  std::uint16_t vendor_id() const { return vendor_id_; }
  std::uint16_t product_id() const { return product_id_; }

  // The pin byte answered once the queued levels are used up.
  void SetPins(std::uint8_t pins) {
    const std::lock_guard lock(mutex_);
    pins_ = pins;
  }
  // Pin bytes answered one per read command, before the level of SetPins.
  void QueuePins(const std::vector<std::uint8_t>& pins);
  // The next read command is answered by `count` reports of earlier commands first.
  void AnswerStaleReportsFirst(int count) {
    const std::lock_guard lock(mutex_);
    stale_reports_first_ = count;
  }
  // A silent board takes commands but never answers: reads time out.
  void SetSilent(bool silent) {
    const std::lock_guard lock(mutex_);
    silent_ = silent;
  }
  void SetWritesFail(bool fail) {
    const std::lock_guard lock(mutex_);
    writes_fail_ = fail;
  }
  void SetReadsFail(bool fail) {
    const std::lock_guard lock(mutex_);
    reads_fail_ = fail;
  }
  void SetOpenFails(bool fail) {
    const std::lock_guard lock(mutex_);
    open_fails_ = fail;
  }
  // Gone from the enumeration; opened handles fail every write and read.
  void Unplug();
  void SetReportLengths(int input_length, int output_length);

  std::vector<std::vector<std::uint8_t>> OutputReports() const {
    return LockedGet(mutex_, output_reports_);
  }
  int ReportsDelivered() const { return LockedGet(mutex_, reports_delivered_); }
  int QueuedReports() const;
  std::vector<int> ReadTimeouts() const { return LockedGet(mutex_, read_timeouts_); }
  int OpenHandles() const { return LockedGet(mutex_, open_handles_); }

  // The device side, used by the simulated transport.
  bool Enumerable() const { return !LockedGet(mutex_, unplugged_); }
  bool AcceptOpen();
  void CloseHandle();
  bool Write(std::span<const std::uint8_t> report);
  int Read(std::span<std::uint8_t> buffer, int timeout_ms);
  int InputReportLength() const { return LockedGet(mutex_, input_length_); }
  int OutputReportLength() const { return LockedGet(mutex_, output_length_); }

 private:
  std::vector<std::uint8_t> Report(std::uint8_t pins, std::uint8_t sequence) const;

  const std::string path_;
  const std::uint16_t vendor_id_;
  const std::uint16_t product_id_;
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  std::uint8_t pins_ = 0;
  std::deque<std::uint8_t> queued_pins_;
  int stale_reports_first_ = 0;
  bool silent_ = false;
  bool writes_fail_ = false;
  bool reads_fail_ = false;
  bool open_fails_ = false;
  bool unplugged_ = false;
  int input_length_ = 9;
  int output_length_ = 9;
  int open_handles_ = 0;
  int reports_delivered_ = 0;
  std::deque<std::vector<std::uint8_t>> pending_;
  std::vector<std::vector<std::uint8_t>> output_reports_;
  std::vector<int> read_timeouts_;
};

// A HID subsystem holding simulated boards (and other HID devices, which are no boards).
class SimulatedHidTransport final : public HidTransport {
 public:
  std::shared_ptr<SimulatedUsbIoBoard> AddBoard(const std::string& path,
                                                std::uint16_t vendor_id = 0x0BFE,
                                                std::uint16_t product_id = 0x1003);
  void SetInitFails(bool fail) {
    const std::lock_guard lock(mutex_);
    init_fails_ = fail;
  }

  bool Init() override;
  void Exit() override;
  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidDevice> Open(const std::string& path) override;

  bool initialised() const { return LockedGet(mutex_, initialised_); }
  int init_calls() const { return LockedGet(mutex_, init_calls_); }
  int enumerate_calls() const { return LockedGet(mutex_, enumerate_calls_); }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<SimulatedUsbIoBoard>> boards_;
  bool init_fails_ = false;
  bool initialised_ = false;
  int init_calls_ = 0;
  int enumerate_calls_ = 0;
};

}  // namespace velmarin::test
