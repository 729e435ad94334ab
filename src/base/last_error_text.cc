#include "base/last_error_text.h"

#include <string>
#include <utility>

#include "base/cp932_search.h"
#include "base/message_subject.h"

namespace velmarin {

void LastErrorText::Set(const Cp932Text& text, const Cp932Text& detail) {
  std::lock_guard lock(mutex_);
  text_ = Cp932Text(CutCp932(text.view(), kMaxBytes));
  detail_ = detail;
  subject_ = MessageSubject();
  hidden_ = false;
  ++generation_;
  history_.push_back({text_, subject_, generation_, detail_});
  if (history_.size() > kHistory) history_.pop_front();
}

void LastErrorText::Clear() {
  std::lock_guard lock(mutex_);
  text_ = Cp932Text();
  subject_.clear();
  detail_ = Cp932Text();
}

void LastErrorText::ClearUnlessSetSince(std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (generation_ <= generation) hidden_ = true;
}

Cp932Text LastErrorText::Get() const {
  std::lock_guard lock(mutex_);
  return hidden_ ? Cp932Text() : text_;
}

Cp932Text LastErrorText::Shown() const {
  std::lock_guard lock(mutex_);
  return hidden_ ? Cp932Text() : WithDetail(text_, detail_);
}

LastErrorText::Entry LastErrorText::Latest() const {
  std::lock_guard lock(mutex_);
  return {text_, subject_, generation_, detail_};
}

std::vector<LastErrorText::Entry> LastErrorText::Since(std::uint64_t generation) const {
  std::lock_guard lock(mutex_);
  std::vector<Entry> entries;
  for (const Entry& entry : history_) {
    if (entry.generation > generation) entries.push_back(entry);
  }
  return entries;
}

std::uint64_t LastErrorText::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

Cp932Text WithDetail(const Cp932Text& text, const Cp932Text& detail) {
  if (detail.empty()) return text;
  std::string shown = text.bytes();
  // The program's texts end in a blank already.
  if (!shown.empty() && shown.back() != ' ') shown += ' ';
  shown.append("(").append(detail.bytes()).append(")");
  return Cp932Text(std::move(shown));
}

}  // namespace velmarin
