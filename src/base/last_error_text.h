#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace velmarin {

// The text of the last image conversion or processing failure (code page 932, at most
// 99 bytes). Written by the folder thread, read by the window title and the headless
// reporter on other threads, hence the lock.
class LastErrorText {
 public:
  static constexpr std::size_t kMaxBytes = 99;

  // Stores `text`, cut to kMaxBytes without splitting a two-byte character, together with
  // the calling thread's MessageSubject (the image the failure is about) and `detail`, what a
  // library said about the failure (code page 932; the libraries' own texts are ASCII).
  void Set(std::string_view text, std::string_view detail = {});
  void Clear();
  std::string Get() const;
  // The text as the user sees it: with its detail, WithDetail.
  std::string Shown() const;
  // Increases with every Set, so a reader can tell a repeated message from an old one.
  std::uint64_t Generation() const;

  struct Entry {
    std::string text;
    std::string subject;  // UTF-8; empty when the failure is about no image in particular
    std::uint64_t generation = 0;
    std::string detail;
  };
  // Text, subject and generation read together.
  Entry Latest() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
  std::string subject_;
  std::uint64_t generation_ = 0;
  std::string detail_;
};

// `text` followed by "(detail)", or `text` alone without a detail.
std::string WithDetail(std::string_view text, std::string_view detail);

}  // namespace velmarin
