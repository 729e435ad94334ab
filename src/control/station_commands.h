#pragma once

#include <optional>

#include "base/cp932_text.h"

namespace velmarin {

// What a running station does when another program asks it over the session bus: the
// front end's own commands, so the window shows what the keypad would. Called on the thread
// that owns the station, with an ID checked as a typed one is.
class StationCommands {
 public:
  virtual ~StationCommands() = default;
  // "IDで開始" with `id`; returns the status line, or nullopt when the station is closing
  // (closing is final: nothing was changed).
  virtual std::optional<Cp932Text> Start(const Cp932Text& id) = 0;
  // `id` for the stills from now on, monitoring left on or off (ProgramSession::SetId).
  virtual void SetId(const Cp932Text& id) = 0;
  // "監視停止"; returns the status line.
  virtual Cp932Text Stop() = 0;
};

}  // namespace velmarin
