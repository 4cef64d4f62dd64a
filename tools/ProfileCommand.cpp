// kammelsim profile: runs steps of the 2D model and prints the profile on one line.
#include <array>
#include <string>

#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"
#include "tools/Kammelsim.h"
#include "tools/Options.h"
#include "tools/Report.h"

namespace tools {
namespace {

constexpr std::array<std::string_view, 7> kProfileOptions = {"width", "thickness", "b",    "wind",
                                                             "q",     "seed",      "steps"};
constexpr std::int64_t kMaxSteps = 1'000'000;

struct ProfileRun {
  model2d::ProfileParams params;
  std::int64_t steps;
  bool seedGiven;
  std::uint32_t seed;
};

ProfileRun ReadProfileRun(const ParsedOptions& options, std::string& error) {
  constexpr model2d::ProfileParams defaults = scenarios::kProfileDefaults;
  constexpr std::int64_t grains = model2d::kMaxProfileGrains;
  ProfileRun run{};
  auto& p = run.params;
  p.layerWidth = static_cast<std::int32_t>(
      IntegerOption(options, "width", defaults.layerWidth, 1, model2d::kMaxProfileWidth, error));
  p.layerThickness = static_cast<std::int32_t>(
      IntegerOption(options, "thickness", defaults.layerThickness, 0, grains, error));
  p.factorB = RealOption(options, "b", defaults.factorB, error);
  p.windStrength = RealOption(options, "wind", defaults.windStrength, error);
  p.factorQ =
      static_cast<std::int32_t>(IntegerOption(options, "q", defaults.factorQ, 0, grains, error));
  run.steps = IntegerOption(options, "steps", 1, 0, kMaxSteps, error);
  run.seedGiven = options.values.contains("seed");
  run.seed = static_cast<std::uint32_t>(IntegerOption(options, "seed", 0, 0, 4294967295, error));
  return run;
}

}  // namespace

int RunProfileCommand(std::span<const std::string_view> args, const RunOutput& output) {
  std::string error;
  const auto options = ParseOptions(args, kProfileOptions, error);
  if (!options) return UsageFault(output, "profile: " + error);
  const ProfileRun run = ReadProfileRun(*options, error);
  if (!error.empty()) return UsageFault(output, error);

  model2d::profileParams = run.params;
  model2d::InitRippleProfile();
  SeedGenerator(run.seedGiven, run.seed, output);
  {
    Progress progress(output, run.steps, "steps");
    for (std::int64_t k = 0; k < run.steps; ++k) {
      model2d::RunProfileStep();
      progress.Update(k + 1);
    }
  }
  if (!WriteHeightLine(output.out, &model2d::rippleProfile.at(0), run.params.layerWidth + 1))
    return WriteFault(output, "the heights");
  if (std::fflush(output.out) != 0) return WriteFault(output, "the heights");
  return 0;
}

}  // namespace tools
