// kammelsim bed: runs batches of the 3D model and prints the bed, one line per row; draws it
// as kammel3 or kammel3map would, when asked.
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "kammel3/Relief.h"
#include "kammel3map/Map.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"
#include "tools/Kammelsim.h"
#include "tools/Options.h"
#include "tools/Report.h"
#include "tools/RunOptions.h"
#include "tools/StatsOutput.h"

namespace tools {
namespace {

constexpr std::array<std::string_view, 9> kBedOptions = {
    "settings", "length", "width", "height", "b", "wind", "q", "batches", "threshold"};
constexpr std::int64_t kMaxBatches = 1'000'000;

struct BedRun {
  model3d::RippleParams params;
  std::int32_t threshold;  ///< of the map's bright cells
  RunSettings run;
};

template <class Settings>
BedRun ReadBedRun(const ParsedOptions& options, const model3d::RippleParams& defaults,
                  std::string& error) {
  constexpr std::int64_t grains = model3d::kMaxGrains;
  constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();
  BedRun bed{};
  auto& p = bed.params;
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
  bed.threshold = static_cast<std::int32_t>(
      IntegerOption(options, "threshold", p.layerHeight + 1, -most - 1, most, error));
  bed.run =
      ReadRunSettings(options, IntegerOption(options, "batches", 1, 0, kMaxBatches, error), error);
  return bed;
}

std::string Parameters(std::string_view settings, const BedRun& bed) {
  const model3d::RippleParams& p = bed.params;
  std::string text =
      "settings=" + std::string(settings) + " length=" + std::to_string(p.layerLength) +
      " width=" + std::to_string(p.layerWidth) + " height=" + std::to_string(p.layerHeight) +
      " b=" + ExactReal(p.factorB) + " wind=" + ExactReal(p.windStrength) +
      " q=" + std::to_string(p.factorQ) + " batches=" + std::to_string(bed.run.schedule.total) +
      " every=" + std::to_string(bed.run.schedule.every);
  if (settings == "map") text += " threshold=" + std::to_string(bed.threshold);
  return text;
}

// The settings' program: how it sets a bed up and draws it.
template <class Settings>
View SetUpBed(const BedRun& bed);

template <>
View SetUpBed<model3d::ReliefSettings>(const BedRun& bed) {
  kammel3::SetUpRelief(bed.params);
  return {kammel3::RedrawRelief, nullptr};
}

template <>
View SetUpBed<model3d::MapSettings>(const BedRun& bed) {
  kammel3map::SetUpMap(bed.params, bed.threshold);
  return {[] { kammel3map::RedrawMap(kammel3map::MapThreshold); }, nullptr};
}

// Rows 0..L along the wind, each the mean of its W + 1 cells.
template <class Settings>
std::vector<double> RowMeans() {
  const auto& grid = model3d::rippleGrid<Settings>;
  const std::int32_t L = model3d::BedLength<Settings>(), W = model3d::BedWidth<Settings>();
  std::vector<double> means(static_cast<std::size_t>(L) + 1);
  for (std::int32_t i = 0; i <= L; ++i) {
    double sum = 0;
    for (std::int32_t j = 0; j <= W; ++j)
      sum += grid.at(i, j);
    means[static_cast<std::size_t>(i)] = sum / (W + 1);
  }
  return means;
}

template <class Settings>
analysis::Snapshot BedSnapshot() {
  const auto& grid = model3d::rippleGrid<Settings>;
  const std::int32_t L = model3d::BedLength<Settings>(), W = model3d::BedWidth<Settings>();
  analysis::Snapshot snapshot{L + 1, W + 1, {}};
  snapshot.cells.reserve(static_cast<std::size_t>(L + 1) * (W + 1));
  for (std::int32_t i = 0; i <= L; ++i) {
    for (std::int32_t j = 0; j <= W; ++j)
      snapshot.cells.push_back(grid.at(i, j));
  }
  return snapshot;
}

// All the sand in the array, bed and beyond.
template <class Settings>
double ArrayTotal() {
  double total = 0;
  for (const std::int32_t h : model3d::rippleGrid<Settings>.cells)
    total += h;
  return total;
}

template <class Settings>
std::optional<StatsOutput> BedStats(const BedRun& bed) {
  if (bed.run.stats.empty()) return std::nullopt;
  const model3d::RippleParams p = bed.params;
  const auto jump = [p](std::int32_t h) {
    return model3d::JumpLengthFor(h, p.factorB, p.windStrength);
  };
  return std::optional<StatsOutput>(std::in_place, analysis::Model::Bed, BedSnapshot<Settings>,
                                    jump, p.factorQ, ArrayTotal<Settings>());
}

template <class Settings>
bool WriteBed(const model3d::RippleParams& params, const RunOutput& output) {
  const auto& grid = model3d::rippleGrid<Settings>;
  std::vector<std::int32_t> row(static_cast<std::size_t>(params.layerWidth) + 1);
  for (std::int32_t i = 0; i <= params.layerLength; ++i) {
    for (std::int32_t j = 0; j <= params.layerWidth; ++j)
      row[static_cast<std::size_t>(j)] = grid.at(i, j);
    if (!WriteHeightLine(output.out, row.data(), params.layerWidth + 1)) return false;
  }
  return std::fflush(output.out) == 0;
}

template <class Settings>
int RunBed(const ParsedOptions& options, std::string_view settings,
           const model3d::RippleParams& defaults, const std::string& commandLine,
           const RunOutput& output) {
  std::string error;
  const BedRun bed = ReadBedRun<Settings>(options, defaults, error);
  if (!error.empty()) return UsageFault(output, error);
  if (settings != "map" && options.Has("threshold"))
    return UsageFault(output, "bed: --threshold is for --settings map");

  PictureOutputs pictures(bed.run.pictures);
  if (const int fault = pictures.Prepare(output, "bed")) return fault;
  View view = SetUpBed<Settings>(bed);
  view.heightsAlongWind = RowMeans<Settings>;
  SeedGenerator(bed.run.seedGiven, bed.run.seed, output);
  const std::uint32_t seed = common::randomState;
  pictures.SetPictureSeed(PictureSeed(seed));
  const Provenance provenance = MakeProvenance(commandLine, seed, Parameters(settings, bed));
  std::optional<StatsOutput> stats = BedStats<Settings>(bed);
  if (stats && !stats->Open(bed.run.stats, provenance, output)) return 1;
  bool done = false;
  {
    Progress progress(output, bed.run.schedule.total, "batches");
    done = RunWithSnapshots(
        bed.run.schedule, progress, [] { model3d::RunBatch<Settings>(); },
        [&](std::int64_t batches, bool last) {
          return (!stats || stats->Snapshot(batches, output)) &&
                 pictures.Snapshot(view, batches, last, output, provenance);
        });
  }
  if (!done || (stats && !stats->Close(output))) return 1;
  if (!WriteBed<Settings>(bed.params, output)) return WriteFault(output, "the heights");
  return 0;
}

}  // namespace

int RunBedCommand(std::span<const std::string_view> args, const RunOutput& output) {
  std::string error;
  const auto options = ParseOptions(args, WithRunOptions(kBedOptions), kRunFlags, error);
  if (!options) return UsageFault(output, "bed: " + error);
  const std::string line = CommandLine("bed", args);
  const std::string chosen = options->Text("settings", "relief");
  if (chosen == "relief") {
    return RunBed<model3d::ReliefSettings>(*options, chosen, scenarios::kReliefDefaults, line,
                                           output);
  }
  if (chosen == "map") {
    return RunBed<model3d::MapSettings>(*options, chosen, scenarios::kMapDefaults, line, output);
  }
  return UsageFault(output, "bed: --settings takes relief or map, not '" + chosen + "'");
}

}  // namespace tools
