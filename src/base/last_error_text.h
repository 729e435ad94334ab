#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp932_text.h"

namespace velmarin {

// The text of the last image conversion or processing failure (at most 99 bytes). Written by the
// folder thread, read by the window title and the headless reporter on other threads, hence the
// lock.
class LastErrorText {
 public:
  static constexpr std::size_t kMaxBytes = 99;

  // Stores `text`, cut to kMaxBytes without splitting a two-byte character, together with
  // the calling thread's MessageSubject (the image the failure is about) and `detail`, what a
  // library said about the failure.
  void Set(const Cp932Text& text, const Cp932Text& detail = Cp932Text());
  void Clear();
  // Hides the text unless it was set after `generation` (a Generation() read earlier): once a
  // still has gone through, what was said before it is over (Get and Shown are empty), while
  // its own notes stay. Latest still tells what was set, so no reader misses it.
  void ClearUnlessSetSince(std::uint64_t generation);
  Cp932Text Get() const;
  // The text as the user sees it: with its detail, WithDetail.
  Cp932Text Shown() const;
  // Increases with every Set, so a reader can tell a repeated message from an old one.
  std::uint64_t Generation() const;

  struct Entry {
    Cp932Text text;
    std::string subject;  // UTF-8; empty when the failure is about no image in particular
    std::uint64_t generation = 0;
    Cp932Text detail;
  };
  // Text, subject and generation of the last Set, read together (also when it is hidden).
  Entry Latest() const;
  // The texts set after `generation`, oldest first: the last kHistory at most, so a reader
  // that looks every 100 ms says each of a quick succession (stills vanishing one by one).
  static constexpr std::size_t kHistory = 256;
  std::vector<Entry> Since(std::uint64_t generation) const;

 private:
  mutable std::mutex mutex_;
  std::deque<Entry> history_;
  Cp932Text text_;
  std::string subject_;
  std::uint64_t generation_ = 0;
  Cp932Text detail_;
  bool hidden_ = false;  // by ClearUnlessSetSince
};

// `text` followed by "(detail)", or `text` alone without a detail.
Cp932Text WithDetail(const Cp932Text& text, const Cp932Text& detail);

}  // namespace velmarin
