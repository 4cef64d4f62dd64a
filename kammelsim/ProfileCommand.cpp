// kammelsim profile: runs steps of the 2D model and prints the profile on one line; draws it
// as kammel would, when asked.
#include <memory>
#include <string>
#include <vector>

#include "kammel/Profile.h"
#include "kammelsim/Commands.h"
#include "kammelsim/InitialHeights.h"
#include "kammelsim/ProfileSetup.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Heights.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Record.h"
#include "kammelsim/run/RunDriver.h"
#include "model2d/ProfileModel.h"

namespace kammelsim {
namespace {

using model2d::ProfileState;

// Cells 0..N along the wind.
std::vector<double> Cells(const ProfileState& state) {
  const std::int32_t n = model2d::ProfileWidth(state);
  std::vector<double> heights(static_cast<std::size_t>(n) + 1);
  for (std::int32_t i = 0; i <= n; ++i)
    heights[static_cast<std::size_t>(i)] = model2d::ProfileHeight(state, i);
  return heights;
}

analysis::Snapshot ProfileSnapshot(const ProfileState& state) {
  const std::int32_t n = model2d::ProfileWidth(state);
  analysis::Snapshot snapshot{n + 1, 1, {}};
  for (std::int32_t i = 0; i <= n; ++i)
    snapshot.cells.push_back(model2d::ProfileHeight(state, i));
  return snapshot;
}

// Cells 0..N on one line.
std::string ProfileText(const ProfileState& state) {
  const std::int32_t* first = state.profile.cells - model2d::RippleProfile::firstCell;
  std::string text;
  AppendHeightLine(text, first, state.params.layerWidth + 1);
  return text;
}

}  // namespace

ProfileRun ReadProfileRun(const params::Values& values, const Resume* resume, std::string& error) {
  using O = params::ProfileOptions;
  params::Record record;
  ProfileRun profile{};
  auto& p = profile.params;
  const auto integer = [&](const params::Option& option) {
    return record.Keep(option, static_cast<std::int32_t>(values.Integer(option)));
  };
  p.layerWidth = integer(O::width);
  p.layerThickness = integer(O::thickness);
  p.factorB = record.Keep(O::b, values.Real(O::b));
  p.windStrength = record.Keep(O::wind, values.Real(O::wind));
  p.factorQ = integer(O::q);
  const std::int64_t total =
      record.Keep(O::steps, resume ? resume->data.total : values.Integer(O::steps));
  profile.run = ReadRunSettings(values, total, record, error);
  profile.parameters = record.Parameters(O::all);
  return profile;
}

void PutHeights(ProfileState& state, const analysis::Snapshot& heights) {
  for (std::int32_t i = 0; i < heights.rows; ++i)
    state.profile.at(i) = static_cast<std::int32_t>(heights.At(i, 0));
}

RunModel ProfileModel(ProfileState& state) {
  const model2d::ProfileParams p = state.params;
  return {
      analysis::Model::Profile,
      [&state] { model2d::RunProfileStep(state); },
      state.profile.cells,
      state.random,
      {[&state](common::Random&) { kammel::RedrawProfile(state); },
       [&state] { return Cells(state); }, [&state] { kammel::PlaceProfile(state.params); }},
      [&state] { return ProfileSnapshot(state); },
      [p](std::int32_t h) { return model2d::ProfileJumpLengthFor(h, p.factorB, p.windStrength); },
      p.factorQ,
      [&state] { return ProfileText(state); }};
}

int RunProfileCommand(std::span<const std::string> args, const RunOutput& output,
                      const Resume* resume) {
  std::string error;
  OptionFault fault;
  const auto options = ParseOptions(args, params::ProfileOptions::all, fault);
  if (!options)
    return resume ? RunOptionFault(output, "profile", fault.message, resume)
                  : Refused(output, "profile", fault);
  params::Values values;
  ProfileRun profile{};
  if (params::ReadWords(*options, params::ProfileOptions::all, values, error))
    profile = ReadProfileRun(values, resume, error);
  if (!error.empty()) return RunOptionFault(output, "profile", error, resume);
  analysis::Snapshot initial;
  const InitialShape shape{profile.params.layerWidth + 1, 1, true, model2d::kMaxProfileGrains};
  if (const int fault = ReadInitialHeights(profile.run, values, params::ProfileOptions::thickness,
                                           shape, resume, output, "profile", initial))
    return fault;

  RunDriver driver(profile.run, "profile", "steps", resume, output);
  if (const int fault = driver.Prepare(params::RecordedOptions(values.Words()), args)) return fault;
  const auto state = std::make_unique<ProfileState>();
  kammel::SetUpProfile(*state, profile.params);
  if (!initial.cells.empty()) PutHeights(*state, initial);
  return driver.Run(ProfileModel(*state), profile.parameters);
}

}  // namespace kammelsim
