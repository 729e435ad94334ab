#include "base/message_subject.h"

#include <cstdio>
#include <utility>

namespace velmarin {
namespace {

thread_local std::string current_subject;

}  // namespace

ScopedMessageSubject::ScopedMessageSubject(std::string subject)
    : previous_(std::exchange(current_subject, std::move(subject))) {}

ScopedMessageSubject::~ScopedMessageSubject() { current_subject = std::move(previous_); }

const std::string& MessageSubject() { return current_subject; }

void PrintMessageLine(std::string_view subject, std::string_view text) {
  std::string line = "velmarin: ";
  if (!subject.empty()) {
    line += subject;
    line += ": ";
  }
  line += text;
  line += '\n';
  // One call, so the stream's lock keeps the line in one piece.
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace velmarin
