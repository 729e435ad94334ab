#include "support/fd_lines.h"

#include <poll.h>
#include <unistd.h>

namespace velmarin::test {

std::string ReadLineWithin(int fd, int patience_ms) {
  std::string line;
  while (true) {
    pollfd wait_for{fd, POLLIN, 0};
    if (poll(&wait_for, 1, patience_ms) <= 0) return {};
    char c = 0;
    if (read(fd, &c, 1) <= 0) return {};
    if (c == '\n') return line;
    line.push_back(c);
  }
}

}  // namespace velmarin::test
