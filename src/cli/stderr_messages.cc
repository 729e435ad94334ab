#include "cli/stderr_messages.h"

#include <string>

#include "base/message_subject.h"
#include "platform/encoding.h"

namespace velmarin::cli {

void StderrMessages::ShowMessage(std::string_view text) {
  ShowMessageAbout(MessageSubject(), text);
}

void StderrMessages::ShowMessageAbout(std::string_view subject, std::string_view text) {
  const auto utf8 = Cp932ToUtf8(text);
  PrintMessageLine(subject, utf8 ? *utf8 : std::string(text));
}

}  // namespace velmarin::cli
