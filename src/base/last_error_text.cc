#include "base/last_error_text.h"

#include "base/cp932_search.h"

namespace velmarin {

void LastErrorText::Set(std::string_view text) {
  std::lock_guard lock(mutex_);
  text_.assign(CutCp932(text, kMaxBytes));
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
