#include "kammelsim/RecordedRun.h"

#include "kammelsim/BedSetup.h"
#include "kammelsim/ProfileSetup.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Record.h"

namespace kammelsim {
namespace {

using Relief = params::BedOptions<model3d::ReliefSettings>;
using Map = params::BedOptions<model3d::MapSettings>;
using Open = params::BedOptions<model3d::OpenSettings>;

// The table the recorded options are read with: a bed's settings choose it.
params::Table TableOf(const CheckpointData& data, const ParsedOptions& options,
                      std::string& error) {
  if (data.command != "bed") return params::ProfileOptions::all;
  params::Values settings;
  if (!params::ReadWords(options, {&params::kSettings, 1}, settings, error)) return {};
  const std::string chosen = settings.Text(params::kSettings);
  if (chosen == "open") return Open::all;
  return chosen == "map" ? params::Table(Map::all) : Relief::all;
}

// The values read as the command reads them, to the recorded total; error names the first
// that cannot be.
void ReadAsTheCommand(const CheckpointData& data, const params::Values& values,
                      std::string& error) {
  Resume resume;
  resume.data.total = data.total;
  if (data.command != "bed")
    ReadProfileRun(values, &resume, error);
  else if (values.Text(params::kSettings) == "open")
    ReadBedRun<model3d::OpenSettings>(values, &resume, error);
  else if (values.Text(params::kSettings) == "map")
    ReadBedRun<model3d::MapSettings>(values, &resume, error);
  else
    ReadBedRun<model3d::ReliefSettings>(values, &resume, error);
}

}  // namespace

std::string OptionsCannotBe(std::string_view message) {
  return "records options that cannot be: " + std::string(message);
}

std::optional<params::Values> ReadRecord(const CheckpointData& data, std::string& why) {
  if (!params::TrustworthyRecord(data, why)) return std::nullopt;
  // The open bed's table names every bed option.
  const params::Table names =
      data.command == "bed" ? params::Table(Open::all) : params::ProfileOptions::all;
  OptionFault fault;
  const auto options = ParseOptions(data.args, names, fault);
  std::string error = options ? "" : fault.message;
  params::Values values;
  if (options) {
    const params::Table table = TableOf(data, *options, error);
    if (error.empty() && params::ReadWords(*options, table, values, error))
      ReadAsTheCommand(data, values, error);
  }
  if (error.empty()) return values;
  why = OptionsCannotBe(error);
  return std::nullopt;
}

}  // namespace kammelsim
