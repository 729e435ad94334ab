#include "base/last_error_text.h"

#include "base/cp932_search.h"
#include "base/message_subject.h"

namespace velmarin {

void LastErrorText::Set(std::string_view text, std::string_view detail) {
  std::lock_guard lock(mutex_);
  text_.assign(CutCp932(text, kMaxBytes));
  detail_.assign(detail);
  subject_ = MessageSubject();
  ++generation_;
}

void LastErrorText::Clear() {
  std::lock_guard lock(mutex_);
  text_.clear();
  subject_.clear();
  detail_.clear();
}

std::string LastErrorText::Get() const {
  std::lock_guard lock(mutex_);
  return text_;
}

std::string LastErrorText::Shown() const {
  std::lock_guard lock(mutex_);
  return WithDetail(text_, detail_);
}

LastErrorText::Entry LastErrorText::Latest() const {
  std::lock_guard lock(mutex_);
  return {text_, subject_, generation_, detail_};
}

std::uint64_t LastErrorText::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

std::string WithDetail(std::string_view text, std::string_view detail) {
  std::string shown(text);
  if (detail.empty()) return shown;
  // The program's texts end in a blank already.
  if (!shown.empty() && shown.back() != ' ') shown += ' ';
  shown.append("(").append(detail).append(")");
  return shown;
}

}  // namespace velmarin
