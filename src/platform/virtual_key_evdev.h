#pragma once

namespace velmarin {

// The evdev key (KEY_*) of a Windows virtual-key code on a US keyboard, or 0 when the code
// names no key (mouse buttons, unassigned and vendor codes). Keys are positions: letters and
// digits give the keys that type them on a US layout (KeyboardLayoutKeys finds them on other
// layouts); Ctrl, Alt and Shift give the left keys.
int EvdevKeyForVirtualKey(int virtual_key);

// Whether the code is a letter (0x41..0x5A) or a digit of the main block (0x30..0x39): those
// stand for characters, which the desktop's layout may put on other keys.
bool IsCharacterVirtualKey(int virtual_key);

}  // namespace velmarin
