#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmarin {

// One present HID interface as the enumeration lists it.
struct HidDeviceInfo {
  std::string path;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
};

// An opened HID interface. Reports carry the report-ID byte first in both directions, also
// for devices without numbered reports (their ID byte is 0), as the USB-IO layer lays them out.
class HidDevice {
 public:
  virtual ~HidDevice() = default;
  // Sends one output report; false when the device refused it or is gone.
  virtual bool Write(std::span<const std::uint8_t> report) = 0;
  // Waits at most `timeout_ms` for one input report and copies it into `buffer`. Returns the
  // number of bytes stored, 0 when nothing arrived in time, -1 on failure.
  virtual int Read(std::span<std::uint8_t> buffer, int timeout_ms) = 0;
  // Report sizes in bytes, report-ID byte included.
  virtual int InputReportLength() const = 0;
  virtual int OutputReportLength() const = 0;
};

// What the USB-IO layer needs of the HID subsystem.
class HidTransport {
 public:
  virtual ~HidTransport() = default;
  // Makes the HID subsystem usable; false when it is not available.
  virtual bool Init() = 0;
  // Releases what Init acquired. Devices opened before must be closed first.
  virtual void Exit() = 0;
  // The present HID interfaces in enumeration order, each path once.
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;
  // Opens an interface for reading and writing; nullptr when it cannot be opened.
  virtual std::unique_ptr<HidDevice> Open(const std::string& path) = 0;
};

}  // namespace velmarin
