#include "cli/stderr_messages.h"

#include "base/message_subject.h"
#include "platform/encoding.h"

namespace velmarin::cli {

void StderrMessages::ShowMessage(const Cp932Text& text) {
  ShowMessageAbout(MessageSubject(), text);
}

void StderrMessages::ShowOwnMessage(const OwnMessage& message) {
  PrintMessageLine(MessageSubject(), message.english);
}

void StderrMessages::ShowMessageAbout(std::string_view subject, const Cp932Text& text) {
  PrintMessageLine(subject, Cp932ToUtf8Replacing(text));
}

}  // namespace velmarin::cli
