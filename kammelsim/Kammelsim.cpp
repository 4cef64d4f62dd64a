#include "kammelsim/Kammelsim.h"

#include "kammelsim/Commands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Messages.h"

namespace kammelsim {
namespace {

constexpr std::string_view kUsage =
    "usage: kammelsim bed [--settings relief|map] [--length L] [--width W] [--height H0]\n"
    "                     [--b B] [--wind V] [--q Q] [--batches K] [--threshold T] [OUTPUTS]\n"
    "       kammelsim profile [--width N] [--thickness D] [--b B] [--wind V] [--q Q]\n"
    "                         [--steps K] [OUTPUTS]\n"
    "       kammelsim stats [FILE|-] [--b B] [--wind V] [--q Q] [--previous FILE]\n"
    "                       [--interval T]\n"
    "       kammelsim resume CHECKPOINT [--batches K | --steps K] [--allow-outside]\n"
    "       kammelsim --version\n"
    "\n"
    "Runs the ripple model headless and prints the heights on stdout.\n"
    "\n"
    "bed: the 3D sand bed of kammel3 (relief) or kammel3map (map); prints rows 0..L, one line\n"
    "     each, holding the W + 1 heights of that row.\n"
    "     Defaults are the program's dialog defaults: relief 300 30 20 2.0 5.0 1,\n"
    "     map 300 150 5 2.0 5.0 1; one batch. L is 1..999 (relief) or 1..1000 (map),\n"
    "     W 1..499 or 1..500, H0 and Q 0..1000, B and V finite reals, K 0..1000000.\n"
    "     T (map only) is the height drawn bright, H0 + 1 unless given.\n"
    "\n"
    "profile: the 2D cross-section of kammel; prints the N + 1 heights of cells 0..N on one\n"
    "     line. Defaults are the dialog defaults 1000 50 2.0 5.0 1; one step. N is 1..10000,\n"
    "     D and Q 0..100000, B and V finite reals, K 0..1000000.\n"
    "\n"
    "stats: the statistics of heights as bed or profile print them (one line: a profile,\n"
    "     several: a bed), as a CSV header and one row; speed against --previous heights\n"
    "     T batches or steps earlier (1 unless given); B, V and Q as for the run (2.0 5.0 1).\n"
    "     sand_outside is nan: heights alone do not tell the sand the run began with.\n"
    "\n"
    "OUTPUTS, drawn as the program draws its canvas:\n"
    "  --seed S          0..4294967295; without it the seed comes from the clock and is reported\n"
    "                    on stderr. The same command line prints the same heights.\n"
    "  --every E         1..1000000: a snapshot every E batches or steps, and at 0 and the end\n"
    "  --png FILE        the picture of the final state\n"
    "  --frames DIR      a picture per snapshot, DIR/frame-NNNNNN.png\n"
    "  --spacetime FILE  a row of heights along the wind per snapshot, coloured by height\n"
    "  --canvas WxH      the canvas size, each 16..8192; 800x600 unless given\n"
    "  --stats FILE      a CSV row of ripple statistics per snapshot\n"
    "  --netcdf FILE     the heights (and statistics) per snapshot as a NetCDF data file\n"
    "                    (CDF-5, CF-1.8), readable while the run writes it\n"
    "  --checkpoint FILE the whole state at the start, every --checkpoint-interval, at the end\n"
    "                    and when stopped, to resume from;\n"
    "                    outputs below its folder are recorded relative to it\n"
    "  --checkpoint-interval S  0..86400 seconds between checkpoints, 60 unless given; one\n"
    "                    is also written at the start, the end and a stop (0: every snapshot)\n"
    "  --heights FILE    the final heights into FILE instead of stdout\n"
    "  --force           replace outputs that exist; clear a frame folder's frames first\n"
    "  --config FILE     options from a file, one 'name = value' per line ('#' comments,\n"
    "                    values taken whole, flags true/false); the command line wins\n"
    "\n"
    "resume: continues the run a checkpoint holds until its total reaches K (the original\n"
    "     total unless given), in the folder where the checkpoint lies now: each output must be\n"
    "     this run's (its run id), whole as recorded, and is cut back to the checkpoint\n"
    "     first; the result is the run's had it never stopped. Every file is reached below\n"
    "     the checkpoint's folder without following a link; outputs recorded outside it need\n"
    "     --allow-outside. One process runs a run at a time, whatever its files' names.\n"
    "\n"
    "SIGINT or SIGTERM stop a run after its current batch or step, writing the checkpoint and\n"
    "what the outputs hold so far; the status is then 130 or 143. A second signal ends it at\n"
    "once. Values go as '--name value' or '--name=value'. A bad command line or an output that\n"
    "exists exits with status 2; a file that cannot be read or written, a checkpoint in use or\n"
    "one that is refused, with status 1.\n";

}  // namespace

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
    if (std::fwrite(kUsage.data(), 1, kUsage.size(), output.out) != kUsage.size() ||
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
