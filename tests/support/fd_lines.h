#pragma once

#include <string>

namespace velmarin::test {

// The next line (without its newline) a child process writes to the pipe `fd`, or an empty
// text when none comes within `patience_ms` or the pipe closes first.
std::string ReadLineWithin(int fd, int patience_ms);

}  // namespace velmarin::test
