#include "platform/uinput_devices.h"

#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include "platform/virtual_key_evdev.h"

namespace velmarin {
namespace {

TEST(UinputDevicesTest, KeyboardHasEveryKeyOfTheHelpTableAndNothingElse) {
  const EvdevDescription keyboard = KeyboardDescription();
  // Back Space, Enter, Space, PageUp, PageDown, Home, the arrows, Print Screen, Insert,
  // Delete, the digits, the letters, F1-F24, and Ctrl, Alt, Shift.
  std::vector<int> codes = {0x08, 0x0D, 0x20, 0x21, 0x22, 0x24, 0x25, 0x26,
                            0x27, 0x28, 0x2C, 0x2D, 0x2E, 0x10, 0x11, 0x12};
  for (int code = 0x30; code <= 0x39; ++code) codes.push_back(code);
  for (int code = 0x41; code <= 0x5A; ++code) codes.push_back(code);
  for (int code = 0x70; code <= 0x87; ++code) codes.push_back(code);
  for (const int code : codes) {
    const int key = EvdevKeyForVirtualKey(code);
    ASSERT_NE(key, 0) << code;
    EXPECT_TRUE(libevdev_has_event_code(keyboard.get(), EV_KEY, static_cast<unsigned>(key)))
        << code;
  }
  EXPECT_FALSE(libevdev_has_event_code(keyboard.get(), EV_KEY, BTN_LEFT));
  EXPECT_FALSE(libevdev_has_event_type(keyboard.get(), EV_ABS));
  EXPECT_FALSE(libevdev_has_event_type(keyboard.get(), EV_REL));
}

TEST(UinputDevicesTest, PointerIsAnAbsoluteTabletOverTheWholeDesktop) {
  const EvdevDescription pointer = PointerDescription();
  for (const unsigned button : {BTN_LEFT, BTN_MIDDLE, BTN_RIGHT}) {
    EXPECT_TRUE(libevdev_has_event_code(pointer.get(), EV_KEY, button));
  }
  for (const unsigned axis : {ABS_X, ABS_Y}) {
    ASSERT_TRUE(libevdev_has_event_code(pointer.get(), EV_ABS, axis));
    EXPECT_EQ(libevdev_get_abs_minimum(pointer.get(), axis), 0);
    EXPECT_EQ(libevdev_get_abs_maximum(pointer.get(), axis), kPointerAxisMax);
  }
  EXPECT_EQ(kPointerAxisMax, 32767);
  // Touch or tool bits, or the direct property, would make it a touch screen or a pen tablet
  // that desktops map to one screen.
  EXPECT_FALSE(libevdev_has_property(pointer.get(), INPUT_PROP_DIRECT));
  for (const unsigned bit : {BTN_TOUCH, BTN_TOOL_PEN, BTN_TOOL_FINGER, BTN_STYLUS}) {
    EXPECT_FALSE(libevdev_has_event_code(pointer.get(), EV_KEY, bit)) << bit;
  }
  EXPECT_FALSE(libevdev_has_event_code(pointer.get(), EV_KEY, KEY_A));
  EXPECT_FALSE(libevdev_has_event_type(pointer.get(), EV_REL));
}

}  // namespace
}  // namespace velmarin
