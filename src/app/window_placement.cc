#include "app/window_placement.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "settings/user_config.h"

namespace velmarin::app {
namespace {

constexpr auto kKey = "Settings/Window";
constexpr auto kStateFileName = "window.ini";

QString FromPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

PlacementStore::PlacementStore()
    : PlacementStore(FromPath(UserStateFolder() / kStateFileName), FromPath(UserConfigPath())) {}

PlacementStore::PlacementStore(QString state_file, QString earlier_file)
    : state_file_(std::move(state_file)), earlier_file_(std::move(earlier_file)) {}

QByteArray PlacementStore::Load() const {
  const bool saved = QFileInfo::exists(state_file_);
  if (!saved && earlier_file_.isEmpty()) return {};
  return QSettings(saved ? state_file_ : earlier_file_, QSettings::IniFormat)
      .value(kKey)
      .toByteArray();
}

void PlacementStore::Save(const QByteArray& geometry) const {
  QDir().mkpath(QFileInfo(state_file_).absolutePath());
  QSettings settings(state_file_, QSettings::IniFormat);
  settings.setValue(kKey, geometry);
}

}  // namespace velmarin::app
