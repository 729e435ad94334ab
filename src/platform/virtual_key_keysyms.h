#pragma once

#include <cstdint>

namespace velmarin {

// The X keysym that stands for a Windows virtual-key code, or 0 when the code has no key on
// an X keyboard (mouse buttons, unassigned and vendor codes). Letters give the lower-case
// keysyms: a virtual key names a key, not a character. Ctrl, Alt and Shift give the left keys.
std::uint32_t KeysymForVirtualKey(int virtual_key);

}  // namespace velmarin
