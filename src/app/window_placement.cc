#include "app/window_placement.h"

#include <QSettings>

#include <array>
#include <memory>

namespace velmarin::app {
namespace {

constexpr auto kKey = "Settings/Window";

std::array<std::int32_t*, 11> Fields(WindowPlacement& p) {
  return {&p.length, &p.flags, &p.show_cmd, &p.min_x, &p.min_y, &p.max_x,
          &p.max_y,  &p.left,  &p.top,      &p.right, &p.bottom};
}

std::unique_ptr<QSettings> Open(const QString& file) {
  if (file.isEmpty()) return std::make_unique<QSettings>("velmarin", "velmarin");
  return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

}  // namespace

QByteArray EncodePlacement(const WindowPlacement& placement) {
  WindowPlacement copy = placement;
  QByteArray bytes;
  for (const std::int32_t* field : Fields(copy)) {
    const auto value = static_cast<std::uint32_t>(*field);
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.append(static_cast<char>((value >> shift) & 0xFF));
    }
  }
  return bytes;
}

std::optional<WindowPlacement> DecodePlacement(const QByteArray& value) {
  if (value.size() < WindowPlacement::kRecordBytes) return std::nullopt;
  WindowPlacement placement;
  int offset = 0;
  for (std::int32_t* field : Fields(placement)) {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) {
      word |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(value[offset + i])) << (8 * i);
    }
    *field = static_cast<std::int32_t>(word);
    offset += 4;
  }
  return placement;
}

PlacementStore::PlacementStore(QString file) : file_(std::move(file)) {}

std::optional<WindowPlacement> PlacementStore::Load() const {
  const QVariant value = Open(file_)->value(kKey);
  if (!value.isValid()) return std::nullopt;
  return DecodePlacement(value.toByteArray());
}

void PlacementStore::Save(const WindowPlacement& placement) const {
  auto settings = Open(file_);
  settings->setValue(kKey, EncodePlacement(placement));
  settings->sync();
}

}  // namespace velmarin::app
