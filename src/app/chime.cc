#include "app/chime.h"

#include <QApplication>

#include <canberra.h>

namespace velmarin::app {
namespace {

class CanberraChime final : public Chime {
 public:
  explicit CanberraChime(std::optional<std::filesystem::path> file) : file_(std::move(file)) {
    if (file_ && ca_context_create(&context_) != CA_SUCCESS) context_ = nullptr;
  }
  ~CanberraChime() override {
    if (context_ != nullptr) ca_context_destroy(context_);
  }
  CanberraChime(const CanberraChime&) = delete;
  CanberraChime& operator=(const CanberraChime&) = delete;

  void Play() override {
    // One chime at a time: a new image cuts the previous sound short, as Windows' PlaySound
    // does.
    if (context_ != nullptr) {
      ca_context_cancel(context_, kChimeId);
      if (ca_context_play(context_, kChimeId, CA_PROP_MEDIA_FILENAME, file_->c_str(),
                          CA_PROP_MEDIA_ROLE, "event", nullptr) == CA_SUCCESS) {
        return;
      }
    }
    QApplication::beep();
  }

 private:
  static constexpr std::uint32_t kChimeId = 1;
  std::optional<std::filesystem::path> file_;
  ca_context* context_ = nullptr;
};

}  // namespace

std::unique_ptr<Chime> MakeDesktopChime(std::optional<std::filesystem::path> file) {
  return std::make_unique<CanberraChime>(std::move(file));
}

}  // namespace velmarin::app
