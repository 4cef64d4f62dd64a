// kammelsim profile: runs steps of the 2D model and prints the profile on one line; draws it
// as kammel would, when asked.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "kammel/Profile.h"
#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"
#include "tools/Kammelsim.h"
#include "tools/Options.h"
#include "tools/Report.h"
#include "tools/RunOptions.h"
#include "tools/StatsOutput.h"

namespace tools {
namespace {

constexpr std::array<std::string_view, 6> kProfileOptions = {"width", "thickness", "b",
                                                             "wind",  "q",         "steps"};
constexpr std::int64_t kMaxSteps = 1'000'000;

struct ProfileRun {
  model2d::ProfileParams params;
  RunSettings run;
};

ProfileRun ReadProfileRun(const ParsedOptions& options, std::string& error) {
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
  profile.run =
      ReadRunSettings(options, IntegerOption(options, "steps", 1, 0, kMaxSteps, error), error);
  return profile;
}

std::string Parameters(const ProfileRun& profile) {
  const model2d::ProfileParams& p = profile.params;
  return "width=" + std::to_string(p.layerWidth) +
         " thickness=" + std::to_string(p.layerThickness) + " b=" + ExactReal(p.factorB) +
         " wind=" + ExactReal(p.windStrength) + " q=" + std::to_string(p.factorQ) +
         " steps=" + std::to_string(profile.run.schedule.total) +
         " every=" + std::to_string(profile.run.schedule.every);
}

// Cells 0..N along the wind.
std::vector<double> Cells() {
  const std::int32_t n = model2d::ProfileWidth();
  std::vector<double> heights(static_cast<std::size_t>(n) + 1);
  for (std::int32_t i = 0; i <= n; ++i)
    heights[static_cast<std::size_t>(i)] = model2d::ProfileHeight(i);
  return heights;
}

analysis::Snapshot ProfileSnapshot() {
  const std::int32_t n = model2d::ProfileWidth();
  analysis::Snapshot snapshot{n + 1, 1, {}};
  for (std::int32_t i = 0; i <= n; ++i)
    snapshot.cells.push_back(model2d::ProfileHeight(i));
  return snapshot;
}

std::optional<StatsOutput> ProfileStats(const ProfileRun& profile) {
  if (profile.run.stats.empty()) return std::nullopt;
  double total = 0;  // the whole table's, guards and all
  for (const std::int32_t h : model2d::rippleProfile.cells)
    total += h;
  const model2d::ProfileParams p = profile.params;
  const auto jump = [p](std::int32_t h) {
    return model2d::ProfileJumpLengthFor(h, p.factorB, p.windStrength);
  };
  return std::optional<StatsOutput>(std::in_place, analysis::Model::Profile, ProfileSnapshot, jump,
                                    p.factorQ, total);
}

}  // namespace

int RunProfileCommand(std::span<const std::string_view> args, const RunOutput& output) {
  std::string error;
  const auto options = ParseOptions(args, WithRunOptions(kProfileOptions), kRunFlags, error);
  if (!options) return UsageFault(output, "profile: " + error);
  const ProfileRun profile = ReadProfileRun(*options, error);
  if (!error.empty()) return UsageFault(output, error);

  PictureOutputs pictures(profile.run.pictures);
  if (const int fault = pictures.Prepare(output, "profile")) return fault;
  kammel::SetUpProfile(profile.params);
  const View view{kammel::RedrawProfile, Cells};
  SeedGenerator(profile.run.seedGiven, profile.run.seed, output);
  const std::uint32_t seed = common::randomState;
  pictures.SetPictureSeed(PictureSeed(seed));
  const Provenance provenance =
      MakeProvenance(CommandLine("profile", args), seed, Parameters(profile));
  std::optional<StatsOutput> stats = ProfileStats(profile);
  if (stats && !stats->Open(profile.run.stats, provenance, output)) return 1;
  bool done = false;
  {
    Progress progress(output, profile.run.schedule.total, "steps");
    done = RunWithSnapshots(
        profile.run.schedule, progress, [] { model2d::RunProfileStep(); },
        [&](std::int64_t steps, bool last) {
          return (!stats || stats->Snapshot(steps, output)) &&
                 pictures.Snapshot(view, steps, last, output, provenance);
        });
  }
  if (!done || (stats && !stats->Close(output))) return 1;
  if (!WriteHeightLine(output.out, &model2d::rippleProfile.at(0), profile.params.layerWidth + 1) ||
      std::fflush(output.out) != 0) {
    return WriteFault(output, "the heights");
  }
  return 0;
}

}  // namespace tools
