#include "app/window_placement.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

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
  // The state file may hold the window's other notes and no place yet.
  const QVariant saved = QSettings(state_file_, QSettings::IniFormat).value(kKey);
  if (saved.isValid() || earlier_file_.isEmpty()) return saved.toByteArray();
  return QSettings(earlier_file_, QSettings::IniFormat).value(kKey).toByteArray();
}

void PlacementStore::Save(const QByteArray& geometry) const {
  QDir().mkpath(QFileInfo(state_file_).absolutePath());
  QSettings settings(state_file_, QSettings::IniFormat);
  settings.setValue(kKey, geometry);
}

}  // namespace velmarin::app
