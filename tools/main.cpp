#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "tools/Kammelsim.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const tools::RunOutput output{stdout, stderr, isatty(fileno(stderr)) == 1};
  const int status = tools::RunKammelsim(args, output);
  if (std::fflush(stdout) != 0) {
    std::perror("kammelsim: writing the heights");
    return 1;
  }
  return status;
}
