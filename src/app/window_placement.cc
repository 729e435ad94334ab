#include "app/window_placement.h"

#include <QSettings>

#include <array>
#include <memory>

#include "base/little_endian.h"

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
  QByteArray bytes(WindowPlacement::kRecordBytes, '\0');
  auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
  for (const std::int32_t* field : Fields(copy)) {
    Put32(out, static_cast<std::uint32_t>(*field));
    out += 4;
  }
  return bytes;
}

std::optional<WindowPlacement> DecodePlacement(const QByteArray& value) {
  if (value.size() < WindowPlacement::kRecordBytes) return std::nullopt;
  WindowPlacement placement;
  const auto* in = reinterpret_cast<const std::uint8_t*>(value.constData());
  for (std::int32_t* field : Fields(placement)) {
    *field = static_cast<std::int32_t>(Get32(in));
    in += 4;
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
