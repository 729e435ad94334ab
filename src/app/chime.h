#pragma once

#include <filesystem>
#include <memory>
#include <optional>

namespace velmarin::app {

// The sound of a new image. Play returns at once; the window never waits for the sound.
class Chime {
 public:
  virtual ~Chime() = default;
  virtual void Play() = 0;
};

// Plays `file` through libcanberra (the desktop's sound server or ALSA); the desktop beep
// when there is no file or it cannot be played (no audio device).
std::unique_ptr<Chime> MakeDesktopChime(std::optional<std::filesystem::path> file);

}  // namespace velmarin::app
