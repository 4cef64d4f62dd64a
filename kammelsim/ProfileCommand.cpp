// kammelsim profile: runs steps of the 2D model and prints the profile on one line; draws it
// as kammel would, when asked.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "kammel/Profile.h"
#include "kammelsim/Commands.h"
#include "kammelsim/Setups.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Heights.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/run/RunDriver.h"
#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"

namespace kammelsim {
namespace {

constexpr std::array<std::string_view, 6> kProfileOptions = {"width", "thickness", "b",
                                                             "wind",  "q",         "steps"};

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

std::span<const std::string_view> ProfileOptionNames() {
  return kProfileOptions;
}

ProfileRun ReadProfileRun(const ParsedOptions& options, const Resume* resume, std::string& error) {
  constexpr model2d::ProfileParams defaults = scenarios::kProfileDefaults;
  constexpr std::int64_t grains = model2d::kMaxProfileGrains;
  ProfileRun profile{};
  auto& p = profile.params;
  p.layerWidth = static_cast<std::int32_t>(
      IntegerOption(options, "width", defaults.layerWidth, 1, model2d::kMaxProfileWidth, error));
  p.layerThickness = static_cast<std::int32_t>(
      IntegerOption(options, "thickness", defaults.layerThickness, 0, grains, error));
  p.factorB = RealOption(options, "b", defaults.factorB, error);
  p.windStrength = RealOption(options, "wind", defaults.windStrength, error);
  p.factorQ =
      static_cast<std::int32_t>(IntegerOption(options, "q", defaults.factorQ, 0, grains, error));
  const std::int64_t steps = IntegerOption(options, "steps", 1, 0, kMaxRunLength, error);
  profile.run = ReadRunSettings(options, resume ? resume->data.total : steps, error);
  return profile;
}

std::string ProfileParameters(const ProfileRun& profile) {
  const model2d::ProfileParams& p = profile.params;
  return "width=" + std::to_string(p.layerWidth) +
         " thickness=" + std::to_string(p.layerThickness) + " b=" + ExactReal(p.factorB) +
         " wind=" + ExactReal(p.windStrength) + " q=" + std::to_string(p.factorQ) +
         " steps=" + std::to_string(profile.run.schedule.total) +
         " every=" + std::to_string(profile.run.schedule.every);
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
  const auto options = ParseOptions(args, WithRunOptions(kProfileOptions), kRunFlags, fault);
  if (!options)
    return resume ? RunOptionFault(output, "profile", fault.message, resume)
                  : Refused(output, "profile", fault);
  const ProfileRun profile = ReadProfileRun(*options, resume, error);
  if (!error.empty()) return RunOptionFault(output, "profile", error, resume);

  RunDriver driver(profile.run, "profile", "steps", resume, output);
  if (const int fault = driver.Prepare(RecordedOptions(options->Canonical()), args)) return fault;
  const auto state = std::make_unique<ProfileState>();
  kammel::SetUpProfile(*state, profile.params);
  return driver.Run(ProfileModel(*state), ProfileParameters(profile));
}

}  // namespace kammelsim
