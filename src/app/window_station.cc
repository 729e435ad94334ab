#include "app/window_station.h"

#include "app/control_panel.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "platform/encoding.h"

namespace velmarin::app {

WindowStation::WindowStation(MainWindow& window, ProgramSession& session)
    : window_(window),
      session_(session),
      bus_(session, *this,
           {.notify_desktop = false,
            // Queued to this object: dropped with it, never run after the bus has gone.
            .wake_owner =
                [this] {
                  QMetaObject::invokeMethod(
                      this, [this] { bus_.RunCommands(); }, Qt::QueuedConnection);
                },
            .say = {}}) {}

std::optional<Cp932Text> WindowStation::Start(const Cp932Text& id) {
  // Closing is final: the ID field is left as it is too.
  if (session_.ShuttingDown()) return std::nullopt;
  window_.panel()->SetIdText(FromCp932(id));
  if (!window_.panel()->StartWithId()) return std::nullopt;
  return Utf8ToCp932Replacing(window_.panel()->status_text().toStdString());
}

void WindowStation::SetId(const Cp932Text& id) {
  window_.panel()->SetIdText(FromCp932(id));
  session_.SetId(id);
  window_.RefreshTitle();
}

Cp932Text WindowStation::Stop() {
  window_.panel()->Stop();
  return Utf8ToCp932Replacing(window_.panel()->status_text().toStdString());
}

}  // namespace velmarin::app
