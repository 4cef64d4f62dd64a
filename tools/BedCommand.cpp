// kammelsim bed: runs batches of the 3D model and prints the bed, one line per row.
#include <array>
#include <string>
#include <vector>

#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"
#include "tools/Kammelsim.h"
#include "tools/Options.h"
#include "tools/Report.h"

namespace tools {
namespace {

constexpr std::array<std::string_view, 9> kBedOptions = {
    "settings", "length", "width", "height", "b", "wind", "q", "seed", "batches"};
constexpr std::int64_t kMaxBatches = 1'000'000;

struct BedRun {
  model3d::RippleParams params;
  std::int64_t batches;
  bool seedGiven;
  std::uint32_t seed;
};

template <class Settings>
BedRun ReadBedRun(const ParsedOptions& options, const model3d::RippleParams& defaults,
                  std::string& error) {
  constexpr std::int64_t grains = model3d::kMaxGrains;
  BedRun run{};
  auto& p = run.params;
  p.layerLength = static_cast<std::int32_t>(
      IntegerOption(options, "length", defaults.layerLength, 1, Settings::maxLength, error));
  p.layerWidth = static_cast<std::int32_t>(
      IntegerOption(options, "width", defaults.layerWidth, 1, Settings::maxWidth, error));
  p.layerHeight = static_cast<std::int32_t>(
      IntegerOption(options, "height", defaults.layerHeight, 0, grains, error));
  p.factorB = RealOption(options, "b", defaults.factorB, error);
  p.windStrength = RealOption(options, "wind", defaults.windStrength, error);
  p.factorQ =
      static_cast<std::int32_t>(IntegerOption(options, "q", defaults.factorQ, 0, grains, error));
  run.batches = IntegerOption(options, "batches", 1, 0, kMaxBatches, error);
  run.seedGiven = options.values.contains("seed");
  run.seed = static_cast<std::uint32_t>(IntegerOption(options, "seed", 0, 0, 4294967295, error));
  return run;
}

template <class Settings>
int RunBed(const ParsedOptions& options, const model3d::RippleParams& defaults,
           const RunOutput& output) {
  std::string error;
  const BedRun run = ReadBedRun<Settings>(options, defaults, error);
  if (!error.empty()) return UsageFault(output, error);

  model3d::rippleParams<Settings> = run.params;
  model3d::InitRippleGrid<Settings>();
  SeedGenerator(run.seedGiven, run.seed, output);
  {
    Progress progress(output, run.batches, "batches");
    for (std::int64_t k = 0; k < run.batches; ++k) {
      model3d::RunBatch<Settings>();
      progress.Update(k + 1);
    }
  }
  const auto& grid = model3d::rippleGrid<Settings>;
  std::vector<std::int32_t> row(static_cast<std::size_t>(run.params.layerWidth) + 1);
  for (std::int32_t i = 0; i <= run.params.layerLength; ++i) {
    for (std::int32_t j = 0; j <= run.params.layerWidth; ++j)
      row[j] = grid.at(i, j);
    if (!WriteHeightLine(output.out, row.data(), run.params.layerWidth + 1))
      return WriteFault(output, "the heights");
  }
  if (std::fflush(output.out) != 0) return WriteFault(output, "the heights");
  return 0;
}

}  // namespace

int RunBedCommand(std::span<const std::string_view> args, const RunOutput& output) {
  std::string error;
  const auto options = ParseOptions(args, kBedOptions, error);
  if (!options) return UsageFault(output, "bed: " + error);
  const auto settings = options->values.find("settings");
  const std::string_view chosen =
      settings == options->values.end() ? std::string_view("relief") : settings->second;
  if (chosen == "relief") {
    return RunBed<model3d::ReliefSettings>(*options, scenarios::kReliefDefaults, output);
  }
  if (chosen == "map") {
    return RunBed<model3d::MapSettings>(*options, scenarios::kMapDefaults, output);
  }
  return UsageFault(output,
                    "bed: --settings takes relief or map, not '" + std::string(chosen) + "'");
}

}  // namespace tools
