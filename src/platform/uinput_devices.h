#pragma once

#include <memory>
#include <string>

#include "base/c_handle.h"

struct libevdev;
extern "C" void libevdev_free(libevdev* device);

namespace velmarin {

// The two virtual devices the uinput backend sends through.
enum class UinputDevice { kKeyboard, kPointer };

// The pointer's absolute axes run over 0..kPointerAxisMax on both X and Y.
inline constexpr int kPointerAxisMax = 32767;

using EvdevDescription = CHandle<libevdev, libevdev_free>;

// A keyboard with every key of a full keyboard (codes 1 to KEY_MICMUTE), Ctrl, Alt and Shift
// included, and nothing else.
EvdevDescription KeyboardDescription();
// An absolute pointer over the whole desktop, as a virtual machine's tablet is: the left,
// middle and right buttons and ABS_X, ABS_Y over 0..kPointerAxisMax; no INPUT_PROP_DIRECT and
// no touch or tool bits, so desktops map it over all screens instead of to one touch screen.
EvdevDescription PointerDescription();

// Where the uinput backend writes its events. Each call is one evdev event
// (type, code, value) for one device.
class InputEventWriter {
 public:
  virtual ~InputEventWriter() = default;
  // False when the device refused the event.
  virtual bool Write(UinputDevice device, unsigned type, unsigned code, int value) = 0;
};

// Both devices, created through /dev/uinput and removed when this goes.
class UinputDevices final : public InputEventWriter {
 public:
  // nullptr, with the reason in `error`, when /dev/uinput cannot be used.
  static std::unique_ptr<UinputDevices> Create(std::string* error);
  ~UinputDevices() override;
  UinputDevices(const UinputDevices&) = delete;
  UinputDevices& operator=(const UinputDevices&) = delete;

  bool Write(UinputDevice device, unsigned type, unsigned code, int value) override;
  // The /dev/input/eventN node of a device (empty when the kernel did not say).
  std::string DeviceNode(UinputDevice device) const;

 private:
  struct Created;
  explicit UinputDevices(std::unique_ptr<Created> created);
  std::unique_ptr<Created> created_;
};

// Whether /dev/uinput can be opened for writing; `error` gets the reason when not.
bool UinputWritable(std::string* error = nullptr);

}  // namespace velmarin
