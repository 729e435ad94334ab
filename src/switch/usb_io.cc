#include "switch/usb_io.h"

#include <algorithm>
#include <array>
#include <string>

namespace velmarin {
namespace {

struct BoardId {
  std::uint16_t vendor_id;
  std::uint16_t product_id;
};

// The boards accepted, compared in this order.
constexpr std::array<BoardId, 4> kUsbIoDeviceIds = {{
    {0x0BFE, 0x1002},
    {0x0BFE, 0x1003},
    {0x12ED, 0x1003},
    {0x1352, 0x0100},
}};

bool IsUsbIoBoard(const HidDeviceInfo& info) {
  return std::any_of(kUsbIoDeviceIds.begin(), kUsbIoDeviceIds.end(), [&](const BoardId& id) {
    return id.vendor_id == info.vendor_id && id.product_id == info.product_id;
  });
}

// Report offsets, report-ID byte at 0.
constexpr std::size_t kCommandOffset = 1;
constexpr std::size_t kValueOffset = 2;
constexpr std::size_t kSequenceOffset = 7;
constexpr std::size_t kAnswerBytesNeeded = kSequenceOffset + 1;

// A zero-filled output report of the board's length with `command` and one byte at `offset`;
// bytes beyond the length are dropped.
std::vector<std::uint8_t> CommandReport(int length, std::uint8_t command, std::size_t offset,
                                        std::uint8_t value) {
  std::vector<std::uint8_t> report(static_cast<std::size_t>(std::max(length, 0)));
  if (kCommandOffset < report.size()) report[kCommandOffset] = command;
  if (offset < report.size()) report[offset] = value;
  return report;
}

std::uint8_t WriteCommand(int port, bool extended) {
  return static_cast<std::uint8_t>(extended ? 0x10 + (port & 3) : 0x01 + (port & 1));
}

std::uint8_t ReadCommand(int port, bool extended) {
  return static_cast<std::uint8_t>(extended ? 0x14 + (port & 3) : 0x03 + (port & 1));
}

// Says why an access failed, to a caller that asked.
void SetError(std::string* error, const char* why) {
  if (error != nullptr) *error = why;
}

constexpr const char* kWriteFailed = "the command report cannot be written";

}  // namespace

UsbIo::UsbIo(HidTransport& transport, MessageSink& messages, std::function<Clock::time_point()> now)
    : transport_(transport), messages_(messages), retry_(std::move(now)) {}

UsbIo::~UsbIo() {
  const auto lock = LockForTeardown();
  ShutdownLocked();
}

bool UsbIo::Init(std::string* error) {
  const std::lock_guard lock(mutex_);
  return InitLocked(false, error);
}

bool UsbIo::WritePort(int port, std::uint8_t value, bool extended, std::string* error) {
  const std::lock_guard lock(mutex_);
  // Without a board the command is tried all the same, and fails for that reason.
  const bool found = board_found_ || InitLocked(true, error);
  written_ports_[port] = {value, extended};
  const auto report =
      CommandReport(output_report_length_, WriteCommand(port, extended), kValueOffset, value);
  if (!device_ || !device_->Write(report)) {
    if (found) SetError(error, kWriteFailed);
    return false;
  }
  return true;
}

std::optional<std::uint8_t> UsbIo::ReadPort(int port, bool extended, std::string* error) {
  const std::lock_guard lock(mutex_);
  if (retry_.lost() && !LookUpLostBoardLocked()) {
    SetError(error, "the board is lost until it is found again");
    return std::nullopt;
  }
  const bool found = board_found_ || InitLocked(true, error);
  const auto value = ReadLocked(port, extended, found ? error : nullptr);
  if (value) {
    retry_.Reset();
  } else if (device_) {
    NoteReadFailureLocked();
  }
  return value;
}

void UsbIo::NoteReadFailureLocked() {
  if (!retry_.NoteFailure()) return;
  device_.reset();
  messages_.ShowOwnMessage(
      {"The USB-IO board does not answer (unplugged?); the foot switch does nothing until it is "
       "back. Looking for it again.",
       "USB-IO ボードが応答しません（抜けていませんか）。戻るまでフットスイッチは働きません。"
       "探し直しています。"});
}

bool UsbIo::LookUpLostBoardLocked() {
  if (!retry_.TryDue()) return false;
  if (!FindLocked()) {
    retry_.TryFailed();
    return false;
  }
  for (const auto& [port, written] : written_ports_) {
    device_->Write(CommandReport(output_report_length_, WriteCommand(port, written.second),
                                 kValueOffset, written.first));
  }
  retry_.Reset();
  messages_.ShowOwnMessage({"The USB-IO board is back; the foot switch works again.",
                            "USB-IO ボードが戻りました。フットスイッチがまた働きます。"});
  return true;
}

std::optional<std::uint8_t> UsbIo::ReadLocked(int port, bool extended, std::string* error) {
  ++sequence_;
  const auto sequence = static_cast<std::uint8_t>(sequence_ & 0xFF);
  const auto command =
      CommandReport(output_report_length_, ReadCommand(port, extended), kSequenceOffset, sequence);
  if (!device_ || !device_->Write(command)) {
    SetError(error, kWriteFailed);
    return std::nullopt;
  }

  std::vector<std::uint8_t> answer(std::max<std::size_t>(
      static_cast<std::size_t>(std::max(input_report_length_, 0)), kAnswerBytesNeeded));
  // Answers to earlier commands may still be queued; they are skipped by their sequence byte.
  for (int examined = 0;; ++examined) {
    std::fill(answer.begin(), answer.end(), 0);
    const int received = teardown_requests_.load() > 0
                             ? 0
                             : device_->Read(answer, static_cast<int>(kReportWait.count()));
    if (received <= 0) {
      SetError(error, "no answer report came");
      return std::nullopt;
    }
    if (examined == kReportsExamined) {
      SetError(error, "no answer carried the command's sequence byte");
      return std::nullopt;
    }
    if (static_cast<std::size_t>(received) >= kAnswerBytesNeeded &&
        answer[kSequenceOffset] == sequence) {
      return answer[kValueOffset];
    }
  }
}

void UsbIo::Shutdown() {
  const auto lock = LockForTeardown();
  ShutdownLocked();
}

bool UsbIo::LoadLocked(bool lazy) {
  if (transport_.Init()) {
    library_loaded_ = true;
    lazy_load_failure_reported_ = false;
    return true;
  }
  if (!lazy || !lazy_load_failure_reported_)
    messages_.ShowMessage(Cp932Text("Error at Load 'hid.dll'"));
  lazy_load_failure_reported_ = true;
  return false;
}

bool UsbIo::FindLocked() {
  device_.reset();
  board_found_ = false;
  for (const HidDeviceInfo& info : transport_.Enumerate()) {
    if (!IsUsbIoBoard(info)) continue;
    // A board that cannot be opened (taken, no permission) is passed over.
    device_ = transport_.Open(info.path);
    if (!device_) continue;
    board_found_ = true;
    input_report_length_ = device_->InputReportLength();
    output_report_length_ = device_->OutputReportLength();
    return true;
  }
  return false;
}

bool UsbIo::InitLocked(bool lazy, std::string* error) {
  if (!library_loaded_ && !LoadLocked(lazy)) {
    SetError(error, "the HID library is not available");
    return false;
  }
  if (FindLocked()) return true;
  SetError(error, "no USB-IO board is there");
  return false;
}

void UsbIo::ShutdownLocked() {
  device_.reset();
  retry_.Reset();
  written_ports_.clear();
  if (library_loaded_) transport_.Exit();
  library_loaded_ = false;
  board_found_ = false;
}

std::unique_lock<std::mutex> UsbIo::LockForTeardown() {
  ++teardown_requests_;
  std::unique_lock lock(mutex_);
  --teardown_requests_;
  return lock;
}

}  // namespace velmarin
