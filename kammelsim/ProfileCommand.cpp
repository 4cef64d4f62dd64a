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
  const std::int32_t* first = model2d::ProfileCells(state) - model2d::RippleProfile::firstCell;
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
  const bool drawn = profile.run.pictures.Drawn() || !profile.run.pictures.spacetime.empty();
  if (p.layerWidth > model2d::kMaxProfileWidth && drawn && error.empty())
    error = "a profile wider than kammel's " + std::to_string(model2d::kMaxProfileWidth) +
            " cells is not drawn: --png, --frames and --spacetime are for those";
  profile.parameters = record.Parameters(O::all);
  return profile;
}

bool WidenForRun(ProfileState& state, const ProfileRun& run, std::string& error) {
  if (run.params.layerWidth <= model2d::kMaxProfileWidth) return true;
  state.params = run.params;
  if (!model2d::WidenProfile(state)) {
    error = "no memory for a profile of " + std::to_string(run.params.layerWidth) + " cells";
    return false;
  }
  model2d::InitRippleProfile(state);
  return true;
}

void PutHeights(ProfileState& state, const analysis::Snapshot& heights) {
  // Cell 0 of the table's or the wide profile's cells.
  std::int32_t* cells = const_cast<std::int32_t*>(model2d::ProfileCells(state)) + 1;
  for (std::int32_t i = 0; i < heights.rows; ++i)
    cells[i] = static_cast<std::int32_t>(heights.At(i, 0));
}

RunModel ProfileModel(ProfileState& state) {
  const model2d::ProfileParams p = state.params;
  // The cells, guards included, wherever they are.
  const std::span<std::int32_t> cells{
      const_cast<std::int32_t*>(model2d::ProfileCells(state)),
      static_cast<std::size_t>(model2d::MaxProfileWidth(state)) + 3};
  return {
      analysis::Model::Profile,
      [&state] { model2d::RunProfileStep(state); },
      cells,
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

  // A wide profile is made first: one too wide is refused before any output exists.
  const auto state = std::make_unique<ProfileState>();
  const bool wide = profile.params.layerWidth > model2d::kMaxProfileWidth;
  if (!WidenForRun(*state, profile, error)) return RunOptionFault(output, "profile", error, resume);
  RunDriver driver(profile.run, "profile", "steps", resume, output);
  if (const int fault = driver.Prepare(params::RecordedOptions(values.Words()), args)) return fault;
  if (!wide) kammel::SetUpProfile(*state, profile.params);
  if (!initial.cells.empty()) PutHeights(*state, initial);
  return driver.Run(ProfileModel(*state), profile.parameters);
}

}  // namespace kammelsim
