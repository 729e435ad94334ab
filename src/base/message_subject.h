#pragma once

#include <string>
#include <string_view>

namespace velmarin {

// What the calling thread's messages are about: the image (a UTF-8 path) it is working on,
// or nothing. Set for the lifetime of a ScopedMessageSubject; a nested one restores the
// outer subject when it ends.
class ScopedMessageSubject {
 public:
  explicit ScopedMessageSubject(std::string subject);
  ~ScopedMessageSubject();
  ScopedMessageSubject(const ScopedMessageSubject&) = delete;
  ScopedMessageSubject& operator=(const ScopedMessageSubject&) = delete;

 private:
  std::string previous_;
};

// The calling thread's subject; empty outside every ScopedMessageSubject.
const std::string& MessageSubject();

// One line on standard error, written whole so lines of several threads never mix:
// "velmarin: SUBJECT: TEXT", or "velmarin: TEXT" without a subject. Both are UTF-8.
void PrintMessageLine(std::string_view subject, std::string_view text);

}  // namespace velmarin
