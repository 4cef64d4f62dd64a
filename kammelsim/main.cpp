#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "kammelsim/Kammelsim.h"

// What stdio still holds, and a failure it saw but no write reported, show only at the close.
int CloseStdout(int status) {
  const bool failedBefore = std::ferror(stdout) != 0;
  const bool closeFailed = std::fclose(stdout) != 0;
  const int reason = closeFailed ? errno : EIO;
  if (!failedBefore && !closeFailed) return status;
  if (status == 1) return status;  // the command has said what failed
  std::fprintf(stderr, "kammelsim: cannot write to standard output: %s\n", std::strerror(reason));
  return 1;
}

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const kammelsim::RunOutput output{stdout, stderr, isatty(fileno(stderr)) == 1};
  // A reader that went away (| head) is a failed write, said in one line, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return CloseStdout(kammelsim::RunKammelsim(args, output));
  } catch (const std::bad_alloc&) {
    // Beds are refused up front when they cannot be had; this is what a smaller need met.
    std::fputs("kammelsim: out of memory\n", stderr);
    return 1;
  }
}
