#include "kammelsim/RecordedRun.h"

#include "kammelsim/Setups.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Messages.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

// Whether a checkpoint's options could have been given to a run at all.
bool Trustworthy(const CheckpointData& data, std::string& why) {
  const std::string unit = data.command == "bed" ? "batches" : "steps";
  if (const std::string foreign = ForeignRecordedOption(data.args); !foreign.empty()) {
    why = "records " + QuoteValue(foreign) + ", which a resume does not take";
  } else if (data.total > kMaxRunLength) {
    why = "records a total of " + std::to_string(data.total) + " " + unit + ", beyond " +
          std::to_string(kMaxRunLength);
  }
  return why.empty();
}

// The options read as the command reads them, to the recorded total; error names the first
// value that cannot be.
void ReadAsTheCommand(const CheckpointData& data, const ParsedOptions& options,
                      std::string& error) {
  Resume resume;
  resume.data.total = data.total;
  if (data.command != "bed") {
    ReadProfileRun(options, &resume, error);
    return;
  }
  const std::string settings = options.Text("settings", "relief");
  if (!KnownBedSettings(settings, error))
    error = options.From("settings", settings) + error;
  else if (settings == "map")
    ReadBedRun<model3d::MapSettings>(options, &resume, error);
  else
    ReadBedRun<model3d::ReliefSettings>(options, &resume, error);
}

}  // namespace

std::string OptionsCannotBe(std::string_view message) {
  return "records options that cannot be: " + std::string(message);
}

std::optional<ParsedOptions> ReadRecord(const CheckpointData& data, std::string& why) {
  if (!Trustworthy(data, why)) return std::nullopt;
  const auto names = data.command == "bed" ? BedOptionNames() : ProfileOptionNames();
  OptionFault fault;
  auto options = ParseOptions(data.args, WithRunOptions(names), kRunFlags, fault);
  std::string error = options ? "" : fault.message;
  if (options) ReadAsTheCommand(data, *options, error);
  if (error.empty()) return options;
  why = OptionsCannotBe(error);
  return std::nullopt;
}

}  // namespace kammelsim
