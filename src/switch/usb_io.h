#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/message_sink.h"
#include "platform/hid_transport.h"
#include "switch/lost_device_retry.h"

namespace velmarin {

// The USB-IO board driver: finds the boards among the HID interfaces, opens the first one and
// exchanges its command and answer reports. The user-interface thread initialises, writes and
// shuts down; the switch thread reads. One lock serialises every device use, so shutdown never
// pulls the device from under a read.
//
// A board that stops answering (unplugged) is closed and looked up again by its IDs at later
// reads, as LostDeviceRetry times it; a board found again gets back the port values written
// before. The loss and the return are said once each.
class UsbIo {
 public:
  static constexpr int kDefaultReportLength = 9;
  // How long a read waits for each answer report; a silent board costs one wait, not a hang.
  static constexpr std::chrono::milliseconds kReportWait{250};
  // Answers examined per read before it gives up (one more report is then consumed).
  static constexpr int kReportsExamined = 100;

  using Clock = std::chrono::steady_clock;
  UsbIo(HidTransport& transport, MessageSink& messages,
        std::function<Clock::time_point()> now = Clock::now);
  ~UsbIo();
  UsbIo(const UsbIo&) = delete;
  UsbIo& operator=(const UsbIo&) = delete;

  // Each access returns false or nullopt when it failed, with `error` (optional) saying why.

  // True when a board was found and opened. HID not available (which shows "Error at Load
  // 'hid.dll'") and no board fail.
  bool Init(std::string* error = nullptr);
  // True when the command was sent.
  bool WritePort(int port, std::uint8_t value, bool extended, std::string* error = nullptr);
  // The port's pins. Fails when the command cannot be written, a read fails or times out, or
  // no answer carried the command's sequence byte; while the board is lost, reads between two
  // lookups fail at once.
  std::optional<std::uint8_t> ReadPort(int port, bool extended, std::string* error = nullptr);
  // Closes the board and releases the HID subsystem; the next access initialises again.
  void Shutdown();

 private:
  // The *Locked members expect `mutex_` held.
  bool LoadLocked(bool lazy);
  // Opens the first board that the enumeration lists and that opens; true when one did.
  bool FindLocked();
  bool InitLocked(bool lazy, std::string* error);
  void ShutdownLocked();
  // Holds off new reads and lets a read in progress give up between two reports.
  std::unique_lock<std::mutex> LockForTeardown();
  std::optional<std::uint8_t> ReadLocked(int port, bool extended, std::string* error);
  // Counts a failed read; the board is closed and given up for lost after a few in a row.
  void NoteReadFailureLocked();
  // A lost board is looked for when the interval is over; true when it is back and open.
  bool LookUpLostBoardLocked();

  HidTransport& transport_;
  MessageSink& messages_;
  mutable std::mutex mutex_;
  std::atomic<int> teardown_requests_{0};
  bool library_loaded_ = false;
  // A lazy load that failed was reported once; repeating the message on every poll helps no one.
  bool lazy_load_failure_reported_ = false;
  bool board_found_ = false;
  std::unique_ptr<HidDevice> device_;
  int input_report_length_ = kDefaultReportLength;
  int output_report_length_ = kDefaultReportLength;
  std::uint32_t sequence_ = 0;
  // port -> (value, extended) of the last write, given again to a board found after a loss
  std::map<int, std::pair<std::uint8_t, bool>> written_ports_;
  LostDeviceRetry retry_;
};

}  // namespace velmarin
