#include "platform/uinput_devices.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include "base/errno_text.h"
#include "base/unique_fd.h"

namespace velmarin {
namespace {

constexpr const char* kUinputPath = "/dev/uinput";
// The vendor and product the devices announce; BUS_VIRTUAL says no hardware is behind them.
constexpr int kVendor = 0x1209;
constexpr int kKeyboardProduct = 0x5601;
constexpr int kPointerProduct = 0x5602;

EvdevDescription NewDescription(const char* name, int product) {
  EvdevDescription description(libevdev_new());
  libevdev_set_name(description.get(), name);
  libevdev_set_id_bustype(description.get(), BUS_VIRTUAL);
  libevdev_set_id_vendor(description.get(), kVendor);
  libevdev_set_id_product(description.get(), product);
  libevdev_set_id_version(description.get(), 1);
  return description;
}

using UinputHandle = CHandle<libevdev_uinput, libevdev_uinput_destroy>;

UinputHandle CreateDevice(const EvdevDescription& description, std::string* error) {
  libevdev_uinput* device = nullptr;
  // Managed: libevdev opens /dev/uinput itself and closes it with the device.
  const int result =
      libevdev_uinput_create_from_device(description.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
  if (result != 0) {
    *error = std::string(kUinputPath) + " cannot be used: " + ErrnoText(-result);
    return nullptr;
  }
  return UinputHandle(device);
}

}  // namespace

EvdevDescription KeyboardDescription() {
  EvdevDescription keyboard = NewDescription("Velmarin foot switch keyboard", kKeyboardProduct);
  libevdev_enable_event_type(keyboard.get(), EV_KEY);
  for (unsigned code = KEY_ESC; code <= KEY_MICMUTE; ++code) {
    libevdev_enable_event_code(keyboard.get(), EV_KEY, code, nullptr);
  }
  return keyboard;
}

EvdevDescription PointerDescription() {
  EvdevDescription pointer = NewDescription("Velmarin foot switch pointer", kPointerProduct);
  libevdev_enable_event_type(pointer.get(), EV_KEY);
  for (const unsigned button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
    libevdev_enable_event_code(pointer.get(), EV_KEY, button, nullptr);
  }
  input_absinfo axis{};
  axis.minimum = 0;
  axis.maximum = kPointerAxisMax;
  libevdev_enable_event_type(pointer.get(), EV_ABS);
  libevdev_enable_event_code(pointer.get(), EV_ABS, ABS_X, &axis);
  libevdev_enable_event_code(pointer.get(), EV_ABS, ABS_Y, &axis);
  return pointer;
}

struct UinputDevices::Created {
  UinputHandle keyboard;
  UinputHandle pointer;
};

std::unique_ptr<UinputDevices> UinputDevices::Create(std::string* error) {
  auto created = std::make_unique<Created>();
  created->keyboard = CreateDevice(KeyboardDescription(), error);
  if (!created->keyboard) return nullptr;
  created->pointer = CreateDevice(PointerDescription(), error);
  if (!created->pointer) return nullptr;
  return std::unique_ptr<UinputDevices>(new UinputDevices(std::move(created)));
}

UinputDevices::UinputDevices(std::unique_ptr<Created> created) : created_(std::move(created)) {}

UinputDevices::~UinputDevices() = default;

bool UinputDevices::Write(UinputDevice device, unsigned type, unsigned code, int value) {
  libevdev_uinput* target =
      device == UinputDevice::kKeyboard ? created_->keyboard.get() : created_->pointer.get();
  return libevdev_uinput_write_event(target, type, code, value) == 0;
}

std::string UinputDevices::DeviceNode(UinputDevice device) const {
  const libevdev_uinput* target =
      device == UinputDevice::kKeyboard ? created_->keyboard.get() : created_->pointer.get();
  const char* node = libevdev_uinput_get_devnode(const_cast<libevdev_uinput*>(target));
  return node != nullptr ? node : "";
}

bool UinputWritable(std::string* error) {
  const UniqueFd fd(::open(kUinputPath, O_RDWR | O_CLOEXEC));
  if (fd.get() >= 0) return true;
  if (error != nullptr)
    *error = std::string(kUinputPath) + " cannot be opened: " + ErrnoText(errno);
  return false;
}

}  // namespace velmarin
