#include "support/simulated_usb_io_board.h"

#include <algorithm>
#include <chrono>

namespace velmarin::test {
namespace {

bool IsReadCommand(std::uint8_t command) {
  return command == 0x03 || command == 0x04 || (command >= 0x14 && command <= 0x17);
}

class SimulatedHidDevice final : public HidDevice {
 public:
  explicit SimulatedHidDevice(std::shared_ptr<SimulatedUsbIoBoard> board)
      : board_(std::move(board)) {}
  ~SimulatedHidDevice() override { board_->CloseHandle(); }

  bool Write(std::span<const std::uint8_t> report) override { return board_->Write(report); }
  int Read(std::span<std::uint8_t> buffer, int timeout_ms) override {
    return board_->Read(buffer, timeout_ms);
  }
  int InputReportLength() const override { return board_->InputReportLength(); }
  int OutputReportLength() const override { return board_->OutputReportLength(); }

 private:
  std::shared_ptr<SimulatedUsbIoBoard> board_;
};

}  // namespace

SimulatedUsbIoBoard::SimulatedUsbIoBoard(std::string path, std::uint16_t vendor_id,
                                         std::uint16_t product_id)
    : path_(std::move(path)), vendor_id_(vendor_id), product_id_(product_id) {}

void SimulatedUsbIoBoard::QueuePins(const std::vector<std::uint8_t>& pins) {
  const std::lock_guard lock(mutex_);
  queued_pins_.insert(queued_pins_.end(), pins.begin(), pins.end());
}

void SimulatedUsbIoBoard::Unplug() {
  {
    const std::lock_guard lock(mutex_);
    unplugged_ = true;
  }
  answered_.notify_all();
}

void SimulatedUsbIoBoard::SetReportLengths(int input_length, int output_length) {
  const std::lock_guard lock(mutex_);
  input_length_ = input_length;
  output_length_ = output_length;
}

int SimulatedUsbIoBoard::QueuedReports() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(pending_.size());
}

bool SimulatedUsbIoBoard::AcceptOpen() {
  const std::lock_guard lock(mutex_);
  if (unplugged_ || open_fails_) return false;
  ++open_handles_;
  return true;
}

void SimulatedUsbIoBoard::CloseHandle() {
  const std::lock_guard lock(mutex_);
  --open_handles_;
}

bool SimulatedUsbIoBoard::Write(std::span<const std::uint8_t> report) {
  {
    const std::lock_guard lock(mutex_);
    if (unplugged_ || writes_fail_) return false;
    output_reports_.emplace_back(report.begin(), report.end());
    if (report.size() < 2 || !IsReadCommand(report[1]) || silent_) return true;
    const std::uint8_t sequence = report.size() > 7 ? report[7] : 0;
    for (; stale_reports_first_ > 0; --stale_reports_first_) {
      pending_.push_back(Report(pins_, static_cast<std::uint8_t>(sequence - 1)));
    }
    std::uint8_t pins = pins_;
    if (!queued_pins_.empty()) {
      pins = queued_pins_.front();
      queued_pins_.pop_front();
    }
    pending_.push_back(Report(pins, sequence));
  }
  answered_.notify_all();
  return true;
}

int SimulatedUsbIoBoard::Read(std::span<std::uint8_t> buffer, int timeout_ms) {
  std::unique_lock lock(mutex_);
  read_timeouts_.push_back(timeout_ms);
  answered_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)),
                     [&] { return unplugged_ || reads_fail_ || !pending_.empty(); });
  if (unplugged_ || reads_fail_) return -1;
  if (pending_.empty()) return 0;
  const std::vector<std::uint8_t> report = std::move(pending_.front());
  pending_.pop_front();
  ++reports_delivered_;
  const std::size_t copied = std::min(buffer.size(), report.size());
  std::copy_n(report.begin(), copied, buffer.begin());
  return static_cast<int>(copied);
}

std::vector<std::uint8_t> SimulatedUsbIoBoard::Report(std::uint8_t pins,
                                                      std::uint8_t sequence) const {
  std::vector<std::uint8_t> report(static_cast<std::size_t>(std::max(input_length_, 8)), 0);
  report[2] = pins;
  report[7] = sequence;
  return report;
}

std::shared_ptr<SimulatedUsbIoBoard> SimulatedHidTransport::AddBoard(const std::string& path,
                                                                     std::uint16_t vendor_id,
                                                                     std::uint16_t product_id) {
  auto board = std::make_shared<SimulatedUsbIoBoard>(path, vendor_id, product_id);
  const std::lock_guard lock(mutex_);
  boards_.push_back(board);
  return board;
}

bool SimulatedHidTransport::Init() {
  const std::lock_guard lock(mutex_);
  ++init_calls_;
  if (init_fails_) return false;
  initialised_ = true;
  return true;
}

void SimulatedHidTransport::Exit() {
  const std::lock_guard lock(mutex_);
  initialised_ = false;
}

std::vector<HidDeviceInfo> SimulatedHidTransport::Enumerate() {
  const std::lock_guard lock(mutex_);
  ++enumerate_calls_;
  std::vector<HidDeviceInfo> devices;
  if (!initialised_) return devices;
  for (const auto& board : boards_) {
    if (board->Enumerable()) {
      devices.push_back({board->path(), board->vendor_id(), board->product_id()});
    }
  }
  return devices;
}

std::unique_ptr<HidDevice> SimulatedHidTransport::Open(const std::string& path) {
  const std::lock_guard lock(mutex_);
  if (!initialised_) return nullptr;
  for (const auto& board : boards_) {
    if (board->path() == path && board->AcceptOpen()) {
      return std::make_unique<SimulatedHidDevice>(board);
    }
  }
  return nullptr;
}

}  // namespace velmarin::test
