#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace velmarin::test {

// A private Xvfb for end-to-end input tests. The server picks a free display number itself
// (-displayfd) and is terminated with the object.
class XvfbServer {
 public:
  // The Xvfb program on PATH, or nullopt when it is not installed.
  static std::optional<std::filesystem::path> FindBinary();

  // Starts `binary` with one 1024x768 screen; its output goes to `log_file`.
  XvfbServer(const std::filesystem::path& binary, const std::filesystem::path& log_file);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":N", or empty when the server did not come up (then error() says why).
  const std::string& display_name() const { return display_name_; }
  const std::string& error() const { return error_; }

  // Ends the server at once, as a crash would, and waits until it is gone.
  void Kill();

 private:
  pid_t pid_ = -1;
  std::string display_name_;
  std::string error_;
};

}  // namespace velmarin::test
