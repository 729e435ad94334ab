#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace velmarin::test {

// A private sway compositor on wlroots' headless backend: no GPU, no input devices, `outputs`
// outputs named HEADLESS-1, HEADLESS-2, ... which `config` (sway's configuration language) may
// size, scale and place. sway refuses to run as root: start it as an ordinary user
// (RunUnprivileged). Its sockets go into `runtime_dir`; it ends with the object.
class HeadlessSway {
 public:
  HeadlessSway(const std::filesystem::path& binary, const std::filesystem::path& runtime_dir,
               const std::string& config, int outputs);
  ~HeadlessSway();
  HeadlessSway(const HeadlessSway&) = delete;
  HeadlessSway& operator=(const HeadlessSway&) = delete;

  // The Wayland display's path once the outputs are configured, or empty when sway did not come
  // up (then error() says why).
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

}  // namespace velmarin::test
