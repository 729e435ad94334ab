#include "app/chime.h"

#include <QApplication>

#include <canberra.h>

#include <cstdlib>
#include <string>

namespace velmarin::app {
namespace {

// Whether a sound can be played at all: a sound server of the session (PulseAudio, or
// PipeWire speaking its protocol) or an ALSA playback device. Without one the sound library
// would print its failures on every chime.
bool HasSoundOutput() {
  std::error_code error;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime &&
      std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native", error)) {
    return true;
  }
  for (std::filesystem::directory_iterator it("/dev/snd", error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with("pcmC") && name.ends_with('p')) return true;
  }
  return false;
}

class CanberraChime final : public Chime {
 public:
  explicit CanberraChime(std::optional<std::filesystem::path> file) : file_(std::move(file)) {
    if (!HasSoundOutput() || ca_context_create(&context_) != CA_SUCCESS) context_ = nullptr;
  }
  ~CanberraChime() override {
    if (context_ != nullptr) ca_context_destroy(context_);
  }
  CanberraChime(const CanberraChime&) = delete;
  CanberraChime& operator=(const CanberraChime&) = delete;

  void Play() override {
    if (file_ && PlayAlone(CA_PROP_MEDIA_FILENAME, file_->c_str())) return;
    QApplication::beep();
  }

  void PlayFailure() override {
    if (PlayAlone(CA_PROP_EVENT_ID, "dialog-error")) return;
    QApplication::beep();
  }

 private:
  // One sound at a time: a new still cuts the previous sound short, as Windows' PlaySound does.
  bool PlayAlone(const char* property, const char* value) {
    if (context_ == nullptr) return false;
    ca_context_cancel(context_, kSoundId);
    return ca_context_play(context_, kSoundId, property, value, CA_PROP_MEDIA_ROLE, "event",
                           nullptr) == CA_SUCCESS;
  }

  static constexpr std::uint32_t kSoundId = 1;
  std::optional<std::filesystem::path> file_;
  ca_context* context_ = nullptr;
};

}  // namespace

std::unique_ptr<Chime> MakeDesktopChime(std::optional<std::filesystem::path> file) {
  return std::make_unique<CanberraChime>(std::move(file));
}

}  // namespace velmarin::app
