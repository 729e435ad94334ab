#include "platform/virtual_key_keysyms.h"

#include <array>
#include <utility>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

namespace velmarin {
namespace {

using Keysym = std::uint32_t;

// Codes with a key of their own. The OEM punctuation keys follow a US layout. Two codes of a
// Japanese keyboard share a keysym with another code: 0xE2 (the "ro" key, or the extra key of a
// 102-key board) gives backslash like 0xDC, and 0xF3/0xF4 both name the Hankaku/Zenkaku key.
// 0xDF (OEM 8) has no key on a US layout and stays unmapped.
constexpr std::pair<int, Keysym> kSingleKeys[] = {
    {0x03, XK_Break},
    {0x08, XK_BackSpace},
    {0x09, XK_Tab},
    {0x0C, XK_Clear},
    {0x0D, XK_Return},
    {0x10, XK_Shift_L},
    {0x11, XK_Control_L},
    {0x12, XK_Alt_L},
    {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},
    {0x15, XK_Hiragana_Katakana},
    {0x19, XK_Kanji},
    {0x1B, XK_Escape},
    {0x1C, XK_Henkan_Mode},
    {0x1D, XK_Muhenkan},
    {0x1F, XK_Mode_switch},
    {0x20, XK_space},
    {0x21, XK_Prior},
    {0x22, XK_Next},
    {0x23, XK_End},
    {0x24, XK_Home},
    {0x25, XK_Left},
    {0x26, XK_Up},
    {0x27, XK_Right},
    {0x28, XK_Down},
    {0x29, XK_Select},
    {0x2A, XK_Print},
    {0x2B, XK_Execute},
    {0x2C, XK_Print},
    {0x2D, XK_Insert},
    {0x2E, XK_Delete},
    {0x2F, XK_Help},
    {0x5B, XK_Super_L},
    {0x5C, XK_Super_R},
    {0x5D, XK_Menu},
    {0x5F, XF86XK_Sleep},
    {0x6A, XK_KP_Multiply},
    {0x6B, XK_KP_Add},
    {0x6C, XK_KP_Separator},
    {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock},
    {0x92, XK_KP_Equal},
    {0xA0, XK_Shift_L},
    {0xA1, XK_Shift_R},
    {0xA2, XK_Control_L},
    {0xA3, XK_Control_R},
    {0xA4, XK_Alt_L},
    {0xA5, XK_Alt_R},
    {0xA6, XF86XK_Back},
    {0xA7, XF86XK_Forward},
    {0xA8, XF86XK_Refresh},
    {0xA9, XF86XK_Stop},
    {0xAA, XF86XK_Search},
    {0xAB, XF86XK_Favorites},
    {0xAC, XF86XK_HomePage},
    {0xAD, XF86XK_AudioMute},
    {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext},
    {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xB4, XF86XK_Mail},
    {0xB5, XF86XK_AudioMedia},
    {0xB6, XF86XK_Launch0},
    {0xB7, XF86XK_Launch1},
    {0xBA, XK_semicolon},
    {0xBB, XK_equal},
    {0xBC, XK_comma},
    {0xBD, XK_minus},
    {0xBE, XK_period},
    {0xBF, XK_slash},
    {0xC0, XK_grave},
    {0xDB, XK_bracketleft},
    {0xDC, XK_backslash},
    {0xDD, XK_bracketright},
    {0xDE, XK_apostrophe},
    {0xE2, XK_backslash},
    {0xF0, XK_Eisu_toggle},
    {0xF1, XK_Katakana},
    {0xF2, XK_Hiragana},
    {0xF3, XK_Zenkaku_Hankaku},
    {0xF4, XK_Zenkaku_Hankaku},
    {0xFE, XK_Clear},
};

// Runs of codes whose keysyms run in step.
struct KeyRun {
  int first_code;
  int count;
  Keysym first_keysym;
};
constexpr KeyRun kKeyRuns[] = {
    {0x30, 10, XK_0},     // digits of the main block
    {0x41, 26, XK_a},     // letters
    {0x60, 10, XK_KP_0},  // numpad digits
    {0x70, 24, XK_F1},    // F1-F24
};

constexpr std::array<Keysym, 256> kKeysyms = [] {
  std::array<Keysym, 256> table{};
  for (const KeyRun& run : kKeyRuns) {
    for (int i = 0; i < run.count; ++i) table[run.first_code + i] = run.first_keysym + i;
  }
  for (const auto& [code, keysym] : kSingleKeys) table[code] = keysym;
  return table;
}();

}  // namespace

std::uint32_t KeysymForVirtualKey(int virtual_key) {
  if (virtual_key < 0 || virtual_key >= static_cast<int>(kKeysyms.size())) return 0;
  return kKeysyms[virtual_key];
}

}  // namespace velmarin
