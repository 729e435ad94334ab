#pragma once

#include <filesystem>
#include <memory>
#include <optional>

namespace velmarin::app {

// The sounds of the stills: the chime of one transferred, the desktop's error sound for one that
// was given up. Both return at once; the window never waits for a sound.
class Chime {
 public:
  virtual ~Chime() = default;
  virtual void Play() = 0;
  virtual void PlayFailure() = 0;
};

// Plays `file` through libcanberra (the desktop's sound server or ALSA), and the sound theme's
// "dialog-error" for a failure; the desktop beep when a sound cannot be played (no file, no
// audio device).
std::unique_ptr<Chime> MakeDesktopChime(std::optional<std::filesystem::path> file);

}  // namespace velmarin::app
