// kammelsim resume: continues a run from its checkpoint, as if it had never stopped.
#include <array>
#include <filesystem>
#include <string>

#include "kammelsim/Commands.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelsim {
namespace {

constexpr std::array<std::string_view, 2> kResumeOptions = {"batches", "steps"};
constexpr std::array<std::string_view, 0> kNoFlags = {};
constexpr std::int64_t kMaxTotal = 1'000'000;

// The total the continued run goes to: the recorded one unless the command line says.
bool ReadTotal(const ParsedOptions& options, const CheckpointData& data, std::int64_t& total,
               std::string& error) {
  const std::string_view own = data.command == "bed" ? "batches" : "steps";
  const std::string_view other = data.command == "bed" ? "steps" : "batches";
  if (options.Has(other)) {
    error = "--" + std::string(other) + " is not for a " + data.command + " run; use --" +
            std::string(own);
    return false;
  }
  total = IntegerOption(options, own, data.total, 0, kMaxTotal, error);
  if (!error.empty()) return false;
  const bool complete = data.done == data.total;
  if (total > data.done || (complete && total == data.done)) return true;
  error = "the checkpoint holds " + std::to_string(data.done) + " " + std::string(own) +
          " already; --" + std::string(own) + " must be more";
  return false;
}

}  // namespace

int RunResumeCommand(std::span<const std::string> args, const RunOutput& output) {
  std::string error;
  const auto options = ParseOptions(args, kResumeOptions, kNoFlags, error, 1);
  if (!options) return UsageFault(output, "resume: " + error);
  if (options->positional.empty()) return UsageFault(output, "resume: which checkpoint?");
  Resume resume;
  resume.path = std::filesystem::absolute(options->positional.front()).string();
  if (!ReadCheckpoint(options->positional.front(), resume.data, error)) {
    std::fprintf(output.err, "kammelsim: resume: %s\n", error.c_str());
    return 1;
  }
  if (!ReadTotal(*options, resume.data, resume.data.total, error))
    return UsageFault(output, "resume: " + error);
  const std::span<const std::string> recorded = resume.data.args;
  return resume.data.command == "bed" ? RunBedCommand(recorded, output, &resume)
                                      : RunProfileCommand(recorded, output, &resume);
}

}  // namespace kammelsim
