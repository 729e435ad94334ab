#include "cli/stderr_messages.h"

#include "base/message_subject.h"
#include "platform/encoding.h"

namespace velmarin::cli {

void StderrMessages::ShowMessage(std::string_view text) {
  ShowMessageAbout(MessageSubject(), text);
}

void StderrMessages::ShowMessageAbout(std::string_view subject, std::string_view text) {
  PrintMessageLine(subject, Cp932ToUtf8Replacing(text));
}

}  // namespace velmarin::cli
