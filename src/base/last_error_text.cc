#include "base/last_error_text.h"

#include "base/cp932_search.h"

namespace velmarin {

void LastErrorText::Set(std::string_view text) {
  std::size_t cut = 0;
  while (cut < text.size()) {
    const std::size_t next = cut + Cp932CharLength(text, cut);
    if (next > kMaxBytes) break;
    cut = next;
  }
  std::lock_guard lock(mutex_);
  text_.assign(text.substr(0, cut));
  ++generation_;
}

void LastErrorText::Clear() {
  std::lock_guard lock(mutex_);
  text_.clear();
}

std::string LastErrorText::Get() const {
  std::lock_guard lock(mutex_);
  return text_;
}

std::uint64_t LastErrorText::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

}  // namespace velmarin
