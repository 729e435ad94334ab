#include "base/last_error_text.h"

#include "base/cp932_search.h"
#include "base/message_subject.h"

namespace velmarin {

void LastErrorText::Set(const Cp932Text& text) {
  std::lock_guard lock(mutex_);
  text_ = Cp932Text(CutCp932(text.view(), kMaxBytes));
  subject_ = MessageSubject();
  ++generation_;
}

void LastErrorText::Clear() {
  std::lock_guard lock(mutex_);
  text_ = Cp932Text();
  subject_.clear();
}

Cp932Text LastErrorText::Get() const {
  std::lock_guard lock(mutex_);
  return text_;
}

LastErrorText::Entry LastErrorText::Latest() const {
  std::lock_guard lock(mutex_);
  return {text_, subject_, generation_};
}

std::uint64_t LastErrorText::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

}  // namespace velmarin
