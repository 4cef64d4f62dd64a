#include "kammelsim/RecordedRun.h"

#include "kammelsim/BedSetup.h"
#include "kammelsim/ProfileSetup.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Record.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

using Relief = params::BedOptions<model3d::ReliefSettings>;
using Map = params::BedOptions<model3d::MapSettings>;

// The values read from the recorded words as the command reads them, to the recorded total;
// error names the first that cannot be.
params::Values ReadAsTheCommand(const CheckpointData& data, std::string& error) {
  Resume resume;
  resume.data.total = data.total;
  const bool bed = data.command == "bed";
  // Both settings' tables name the same options; which applies is the settings' to say.
  OptionFault fault;
  const auto options = ParseOptions(
      data.args, bed ? params::Table(Relief::all) : params::ProfileOptions::all, fault);
  params::Values values;
  if (!options) {
    error = fault.message;
  } else if (!bed) {
    if (params::ReadWords(*options, params::ProfileOptions::all, values, error))
      ReadProfileRun(values, &resume, error);
  } else if (params::Values settings;
             params::ReadWords(*options, {&params::kSettings, 1}, settings, error)) {
    const bool map = settings.Text(params::kSettings) == "map";
    if (params::ReadWords(*options, map ? params::Table(Map::all) : Relief::all, values, error)) {
      if (map)
        ReadBedRun<model3d::MapSettings>(values, &resume, error);
      else
        ReadBedRun<model3d::ReliefSettings>(values, &resume, error);
    }
  }
  return values;
}

}  // namespace

std::string OptionsCannotBe(std::string_view message) {
  return "records options that cannot be: " + std::string(message);
}

std::optional<params::Values> ReadRecord(const CheckpointData& data, std::string& why) {
  if (!params::TrustworthyRecord(data, why)) return std::nullopt;
  std::string error;
  params::Values values = ReadAsTheCommand(data, error);
  if (error.empty()) return values;
  why = OptionsCannotBe(error);
  return std::nullopt;
}

}  // namespace kammelsim
