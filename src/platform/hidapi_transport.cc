#include "platform/hidapi_transport.h"

#include <hidapi/hidapi.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_set>

#include "base/c_handle.h"
#include "platform/hid_report_descriptor.h"

namespace velmarin {
namespace {

// hidapi cannot report the report sizes; these fit the USB-IO boards (8 data bytes).
constexpr int kFallbackReportLength = 9;

using HidDeviceHandle = CHandle<hid_device, hid_close>;
using EnumerationList = CHandle<hid_device_info, hid_free_enumeration>;

// hidraw keeps each node's report descriptor in sysfs: "/dev/hidraw3" ->
// "/sys/class/hidraw/hidraw3/device/report_descriptor".
std::optional<HidReportLayout> ReadReportLayout(const std::string& path) {
  const std::filesystem::path node(path);
  if (node.parent_path() != "/dev") return std::nullopt;
  std::ifstream file("/sys/class/hidraw" / node.filename() / "device/report_descriptor",
                     std::ios::binary);
  if (!file) return std::nullopt;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
  return ParseHidReportLayout(bytes);
}

class HidapiDevice final : public HidDevice {
 public:
  HidapiDevice(HidDeviceHandle handle, const std::optional<HidReportLayout>& layout)
      : handle_(std::move(handle)), numbered_(layout && layout->numbered) {
    if (layout && layout->input_report_length > 0) input_length_ = layout->input_report_length;
    if (layout && layout->output_report_length > 0) output_length_ = layout->output_report_length;
  }

  bool Write(std::span<const std::uint8_t> report) override {
    if (report.empty()) return false;
    const int written = hid_write(handle_.get(), report.data(), report.size());
    return written == static_cast<int>(report.size());
  }

  // hidraw hands over unnumbered reports without an ID byte; the 0 is put in front here so
  // callers always see the report-ID byte first.
  int Read(std::span<std::uint8_t> buffer, int timeout_ms) override {
    if (buffer.empty()) return -1;
    if (numbered_) return hid_read_timeout(handle_.get(), buffer.data(), buffer.size(), timeout_ms);
    buffer[0] = 0;
    const int received =
        hid_read_timeout(handle_.get(), buffer.data() + 1, buffer.size() - 1, timeout_ms);
    return received > 0 ? received + 1 : received;
  }

  int InputReportLength() const override { return input_length_; }
  int OutputReportLength() const override { return output_length_; }

 private:
  HidDeviceHandle handle_;
  bool numbered_;
  int input_length_ = kFallbackReportLength;
  int output_length_ = kFallbackReportLength;
};

}  // namespace

bool HidapiTransport::Init() { return hid_init() == 0; }

void HidapiTransport::Exit() { hid_exit(); }

std::vector<HidDeviceInfo> HidapiTransport::Enumerate() {
  std::vector<HidDeviceInfo> devices;
  std::unordered_set<std::string> seen;
  const EnumerationList list(hid_enumerate(0, 0));
  // hidapi lists a node once per top-level usage; the layer above wants each path once.
  for (const hid_device_info* info = list.get(); info != nullptr; info = info->next) {
    if (info->path == nullptr || !seen.insert(info->path).second) continue;
    devices.push_back({info->path, info->vendor_id, info->product_id});
  }
  return devices;
}

std::unique_ptr<HidDevice> HidapiTransport::Open(const std::string& path) {
  HidDeviceHandle handle(hid_open_path(path.c_str()));
  if (!handle) return nullptr;
  return std::make_unique<HidapiDevice>(std::move(handle), ReadReportLayout(path));
}

}  // namespace velmarin
