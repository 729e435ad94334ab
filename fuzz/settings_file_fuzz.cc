// Any bytes as "velmarin.ini": every slot fits its buffer, writing the result and reading it
// back gives the same settings whenever the written file is unambiguous, the reading problem
// names only slots that fell back to their defaults, and a changed value merged into the bytes
// is read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace {

using velmarin::kSettingSlotCount;
using velmarin::Settings;
using velmarin::SettingSlot;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSlots(const Settings& settings) {
  for (const velmarin::Cp932Text& slot : settings.slots) {
    const std::string& value = slot.bytes();
    Check(value.size() <= velmarin::kSlotMaxBytes);
    Check(value.find('\0') == std::string::npos);
    Check(value.find('\n') == std::string::npos);
  }
}

std::string_view Label(int slot) { return velmarin::SettingLabel(static_cast<SettingSlot>(slot)); }

// A slot's value comes from the last line holding its label. A value may itself hold another
// slot's label; the file reads back unchanged as long as no later line holds it, and no value
// holds a label in UTF-8 (the file would read as one re-saved in UTF-8).
bool ReadsBackUnchanged(const Settings& settings) {
  if (velmarin::SettingsEncodingOf(velmarin::FormatSettingsFile(settings)) !=
      velmarin::SettingsEncoding::kShiftJis) {
    return false;
  }
  for (int later = 0; later < kSettingSlotCount; ++later) {
    const std::string line = std::string(Label(later)) + settings.slots[later].bytes();
    for (int slot = 0; slot < later; ++slot) {
      if (line.find(Label(slot)) != std::string::npos) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  velmarin::SettingsFileReading reading;
  const Settings parsed = velmarin::ParseSettingsFile(bytes, "/opt/velmarin", &reading);
  CheckSlots(parsed);
  const std::string problem =
      velmarin::DescribeReadingProblem("velmarin.ini", bytes, reading).english;
  for (int slot = 0; slot < kSettingSlotCount; ++slot) {
    const std::string name(velmarin::SettingName(static_cast<SettingSlot>(slot)));
    // "Modifiers" or "MouseX" are never part of another name, and so on for all 19.
    if (reading.found[slot] && !reading.not_shift_jis[slot]) {
      Check(problem.find(" " + name + ",") == std::string::npos);
      Check(problem.find(" " + name + " were") == std::string::npos);
      Check(problem.find(" " + name + " hold") == std::string::npos);
    }
  }
  // Every value written is read back, whatever the file held and in whichever encoding.
  const auto changed_slot = static_cast<SettingSlot>(size % kSettingSlotCount);
  Settings changed = parsed;
  changed[changed_slot] = velmarin::Cp932Text("written");
  SettingSlot unwritable{};
  if (const auto merged = velmarin::ReplaceChangedLines(bytes, parsed, changed, &unwritable)) {
    Check(velmarin::ParseSettingsFile(*merged, "/opt/velmarin")[changed_slot] == "written");
  }
  const Settings reread =
      velmarin::ParseSettingsFile(velmarin::FormatSettingsFile(parsed), "/opt/velmarin");
  CheckSlots(reread);
  if (ReadsBackUnchanged(parsed)) Check(reread == parsed);
  return 0;
}
