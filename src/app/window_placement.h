#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace velmarin::app {

// The main window's saved placement: the 44-byte record of Windows' WINDOWPLACEMENT, eleven
// 32-bit signed little-endian integers, so a value copied from a Windows profile still reads.
struct WindowPlacement {
  static constexpr int kRecordBytes = 44;
  static constexpr std::int32_t kShowNormal = 1;
  static constexpr std::int32_t kShowMaximized = 3;

  std::int32_t length = kRecordBytes;
  std::int32_t flags = 0;
  std::int32_t show_cmd = kShowNormal;
  std::int32_t min_x = -1, min_y = -1;
  std::int32_t max_x = -1, max_y = -1;
  // The normal (restored) rectangle: the window's position and its size.
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;

  bool operator==(const WindowPlacement&) const = default;
};

QByteArray EncodePlacement(const WindowPlacement& placement);
// The first 44 bytes of `value` as the record; nullopt when it is shorter.
std::optional<WindowPlacement> DecodePlacement(const QByteArray& value);

// "Settings/Window" in a QSettings file: the user's configuration ("~/.config/velmarin/
// velmarin.conf") by default, or the file named (tests).
class PlacementStore {
 public:
  explicit PlacementStore(QString file = {});
  std::optional<WindowPlacement> Load() const;
  void Save(const WindowPlacement& placement) const;

 private:
  QString file_;
};

}  // namespace velmarin::app
