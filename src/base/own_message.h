#pragma once

#include <string>

namespace velmarin {

// A message of the program's own in both of its languages: English on standard error (the
// headless run, a service's journal, the command line), Japanese in the window. UTF-8 both,
// as they quote paths and the system's reasons.
struct OwnMessage {
  std::string english;
  std::string japanese;

  bool empty() const { return english.empty(); }
};

}  // namespace velmarin
