#include "platform/keyboard_layout.h"

#include <xkbcommon/xkbcommon.h>

#include <fstream>
#include <sstream>

#include "base/c_handle.h"
#include "platform/virtual_key_evdev.h"

namespace velmarin {
namespace {

// xkb key codes are evdev codes plus 8.
constexpr xkb_keycode_t kXkbEvdevOffset = 8;

std::string Unquoted(std::string value) {
  while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

xkb_keysym_t KeysymForCharacterKey(int virtual_key) {
  if (virtual_key >= 0x41) return XKB_KEY_a + static_cast<xkb_keysym_t>(virtual_key - 0x41);
  return XKB_KEY_0 + static_cast<xkb_keysym_t>(virtual_key - 0x30);
}

// The lowest key that gives `keysym` at `level` of the first layout, 0 when none does.
int KeyAtLevel(xkb_keymap* keymap, xkb_keysym_t keysym, xkb_level_index_t level) {
  for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap);
       ++code) {
    if (code < kXkbEvdevOffset) continue;
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, level, &syms);
    for (int i = 0; i < count; ++i) {
      if (syms[i] == keysym) return static_cast<int>(code - kXkbEvdevOffset);
    }
  }
  return 0;
}

}  // namespace

KeyboardLayoutNames ReadKeyboardLayoutNames(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return ParseKeyboardLayoutNames(text.str());
}

KeyboardLayoutNames ParseKeyboardLayoutNames(std::string_view text) {
  KeyboardLayoutNames names;
  std::istringstream in{std::string(text)};
  std::string line;
  while (std::getline(in, line)) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = Unquoted(line.substr(equals + 1));
    if (key == "XKBMODEL") names.model = value;
    if (key == "XKBLAYOUT" && !value.empty()) names.layout = value;
    if (key == "XKBVARIANT") names.variant = value;
    if (key == "XKBOPTIONS") names.options = value;
  }
  return names;
}

KeyboardLayoutKeys::KeyboardLayoutKeys(const KeyboardLayoutNames& names) {
  const CHandle<xkb_context, xkb_context_unref> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (!context) return;
  // A layout that does not compile leaves the US positions in use; xkbcommon need not say more.
  xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
  // Only the first of several layouts ("jp,us") is the one typed with.
  const xkb_rule_names rule_names = {nullptr, names.model.c_str(), names.layout.c_str(),
                                     names.variant.c_str(), names.options.c_str()};
  const CHandle<xkb_keymap, xkb_keymap_unref> keymap(
      xkb_keymap_new_from_names(context.get(), &rule_names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return;
  compiled_ = true;
  for (int code = kFirstCode; code <= kLastCode; ++code) {
    if (!IsCharacterVirtualKey(code)) continue;
    const xkb_keysym_t keysym = KeysymForCharacterKey(code);
    LayoutKey& key = keys_[code - kFirstCode];
    key.evdev_key = KeyAtLevel(keymap.get(), keysym, 0);
    if (key.evdev_key == 0) {
      key.evdev_key = KeyAtLevel(keymap.get(), keysym, 1);
      key.shift = key.evdev_key != 0;
    }
  }
}

}  // namespace velmarin
