// Reading a line that a child process writes to a pipe, such as Xvfb's -displayfd answer.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace testing_support {

/// One whole line from fd, without its newline; empty if none came within timeout or the
/// writer closed first. The writer may send it in pieces, so it is read byte by byte.
inline std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, 100) != 1) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1) return {};
    if (c == '\n') return line;
    line.push_back(c);
  }
  return {};
}

}  // namespace testing_support
