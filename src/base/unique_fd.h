#pragma once

#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>

namespace velmarin {

// Owns a file descriptor and closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.release();
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes now, so a failing close (a late write error) can be reported. False also when
  // nothing was open.
  bool Close();

 private:
  int fd_ = -1;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// Owns a stdio stream and closes it when destroyed.
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Writes all of `bytes`, resuming after interrupted or partial writes. False (errno set)
// on the first failing write.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace velmarin
