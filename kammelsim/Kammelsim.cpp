#include "kammelsim/Kammelsim.h"

#include "kammelsim/Commands.h"
#include "kammelsim/Help.h"

#include <algorithm>
#include <string>
#include <vector>

#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Messages.h"

namespace kammelsim {

int RunKammelsim(std::span<const std::string_view> args, const RunOutput& output) {
  if (args.empty()) return UsageFault(output, "missing subcommand; see kammelsim --help");
  const std::string_view command = args.front();
  const auto rest = args.subspan(1);
  const bool help = command == "--help" || command == "-h" || command == "help" ||
                    std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
                    std::find(rest.begin(), rest.end(), "-h") != rest.end();
  if (command == "--version") {
    const std::string line = "kammelsim " + std::string(Version()) + "\n";
    if (std::fputs(line.c_str(), output.out) < 0 || std::fflush(output.out) != 0)
      return WriteFault(output, "the version");
    return 0;
  }
  if (help) {
    const std::string usage = Usage();
    if (std::fwrite(usage.data(), 1, usage.size(), output.out) != usage.size() ||
        std::fflush(output.out) != 0) {
      return WriteFault(output, "the help");
    }
    return 0;
  }
  const std::vector<std::string> words(rest.begin(), rest.end());
  if (command == "bed") return RunBedCommand(words, output);
  if (command == "profile") return RunProfileCommand(words, output);
  if (command == "stats") return RunStatsCommand(words, output);
  if (command == "resume") return RunResumeCommand(words, output);
  return UsageFault(output, "unknown subcommand " + QuoteValue(command) + "; see kammelsim --help");
}

}  // namespace kammelsim
