#pragma once

#include <QObject>

#include "control/station_bus.h"
#include "control/station_commands.h"

namespace velmarin::app {

class MainWindow;

// The window's station on the session bus: another program's call does what the keypad and
// the two buttons do, on the user-interface thread, and the window shows it (the ID field,
// the status line, the title).
class WindowStation final : public QObject, public StationCommands {
 public:
  WindowStation(MainWindow& window, ProgramSession& session);

  // Offers the station on the bus, beside the window.
  void Connect() { bus_.Start(); }

  std::optional<Cp932Text> Start(const Cp932Text& id) override;
  void SetId(const Cp932Text& id) override;
  Cp932Text Stop() override;

 private:
  MainWindow& window_;
  ProgramSession& session_;
  StationBus bus_;  // last: stopped before the rest goes
};

}  // namespace velmarin::app
