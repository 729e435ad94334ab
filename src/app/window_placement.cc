#include "app/window_placement.h"

#include <QSettings>

#include "settings/user_config.h"

namespace velmarin::app {
namespace {

constexpr auto kKey = "Settings/Window";

}  // namespace

PlacementStore::PlacementStore(QString file)
    : file_(file.isEmpty() ? QString::fromStdString(UserConfigPath().string()) : std::move(file)) {}

QByteArray PlacementStore::Load() const {
  return QSettings(file_, QSettings::IniFormat).value(kKey).toByteArray();
}

void PlacementStore::Save(const QByteArray& geometry) const {
  QSettings settings(file_, QSettings::IniFormat);
  settings.setValue(kKey, geometry);
}

}  // namespace velmarin::app
