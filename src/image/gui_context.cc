#include "image/gui_context.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>

namespace velmarin {
namespace {

bool HasEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

void EnsureGuiApplication(DisplayUse use) {
  if (QCoreApplication::instance() != nullptr) return;
  const bool display =
      use == DisplayUse::kWhenAvailable && (HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY"));
  // An empty QT_QPA_PLATFORM names no platform: Qt would abort on it.
  if (!display && !HasEnv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // QGuiApplication keeps references to argc and argv for its whole life, and it lives as
  // long as the process: static storage for both, and the object is never destroyed (its
  // destructor would run after Qt's own statics are gone).
  static int argc = 1;
  static char name[] = "velmarin";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* const application = new QGuiApplication(argc, argv);
  (void)application;
}

}  // namespace velmarin
