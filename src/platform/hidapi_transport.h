#pragma once

#include "platform/hid_transport.h"

namespace velmarin {

// HID access through hidapi on the Linux hidraw driver.
class HidapiTransport final : public HidTransport {
 public:
  bool Init() override;
  void Exit() override;
  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidDevice> Open(const std::string& path) override;
};

}  // namespace velmarin
