// kammelsim bed: runs batches of the 3D model and prints the bed, one line per row; draws it
// as kammel3 or kammel3map would, when asked.
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kammel3/Relief.h"
#include "kammel3map/Map.h"
#include "kammelsim/Commands.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Heights.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/run/RunDriver.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace kammelsim {
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
                  const Resume* resume, std::string& error) {
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
  const std::int64_t batches = IntegerOption(options, "batches", 1, 0, kMaxBatches, error);
  bed.run = ReadRunSettings(options, resume ? resume->data.total : batches, error);
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

template <class Settings>
using Bed = model3d::BedState<Settings>;

// The settings' program: how it sets a bed up and draws it.
template <class Settings>
View SetUpBed(Bed<Settings>& state, const BedRun& bed);

template <>
View SetUpBed(Bed<model3d::ReliefSettings>& state, const BedRun& bed) {
  kammel3::SetUpRelief(state, bed.params);
  return {[&state](common::Random&) { kammel3::RedrawRelief(state); }, nullptr};
}

template <>
View SetUpBed(Bed<model3d::MapSettings>& state, const BedRun& bed) {
  kammel3map::SetUpMap(state, bed.params);
  const std::int32_t threshold = bed.threshold;
  return {[&state, threshold](common::Random& sparkle) {
            kammel3map::RedrawMap(state, threshold, sparkle);
          },
          nullptr};
}

// Rows 0..L along the wind, each the mean of its W + 1 cells.
template <class Settings>
std::vector<double> RowMeans(const Bed<Settings>& bed) {
  const auto& grid = bed.grid;
  const std::int32_t L = model3d::BedLength(bed), W = model3d::BedWidth(bed);
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
analysis::Snapshot BedSnapshot(const Bed<Settings>& bed) {
  const auto& grid = bed.grid;
  const std::int32_t L = model3d::BedLength(bed), W = model3d::BedWidth(bed);
  analysis::Snapshot snapshot{L + 1, W + 1, {}};
  snapshot.cells.reserve(static_cast<std::size_t>(L + 1) * (W + 1));
  for (std::int32_t i = 0; i <= L; ++i) {
    for (std::int32_t j = 0; j <= W; ++j)
      snapshot.cells.push_back(grid.at(i, j));
  }
  return snapshot;
}

// Rows 0..L, each the W + 1 heights of that row.
template <class Settings>
std::string BedText(const Bed<Settings>& bed) {
  const model3d::RippleParams& params = bed.params;
  std::vector<std::int32_t> row(static_cast<std::size_t>(params.layerWidth) + 1);
  std::string text;
  for (std::int32_t i = 0; i <= params.layerLength; ++i) {
    for (std::int32_t j = 0; j <= params.layerWidth; ++j)
      row[static_cast<std::size_t>(j)] = bed.grid.at(i, j);
    AppendHeightLine(text, row.data(), params.layerWidth + 1);
  }
  return text;
}

template <class Settings>
RunModel BedModel(Bed<Settings>& state, View view) {
  const model3d::RippleParams p = state.params;
  return {analysis::Model::Bed,
          [&state] { model3d::RunBatch(state); },
          state.grid.cells,
          state.random,
          std::move(view),
          [&state] { return BedSnapshot(state); },
          [p](std::int32_t h) { return model3d::JumpLengthFor(h, p.factorB, p.windStrength); },
          p.factorQ,
          [&state] { return BedText(state); }};
}

template <class Settings>
int RunBed(const ParsedOptions& options, std::string_view settings,
           const model3d::RippleParams& defaults, std::span<const std::string> args,
           const Resume* resume, const RunOutput& output) {
  std::string error;
  const BedRun bed = ReadBedRun<Settings>(options, defaults, resume, error);
  if (!error.empty()) return UsageFault(output, "bed: " + error);
  if (settings != "map" && options.Has("threshold"))
    return UsageFault(output, "bed: --threshold is for --settings map");

  RunDriver driver(bed.run, "bed", "batches", resume, output);
  if (const int fault = driver.Prepare()) return fault;
  const auto state = std::make_unique<Bed<Settings>>();  // large: off the stack
  View view = SetUpBed(*state, bed);
  view.heightsAlongWind = [&s = *state] { return RowMeans(s); };
  return driver.Run(BedModel(*state, std::move(view)), RecordedOptions(options.Canonical()), args,
                    Parameters(settings, bed));
}

}  // namespace

int RunBedCommand(std::span<const std::string> args, const RunOutput& output,
                  const Resume* resume) {
  std::string error;
  OptionFault fault;
  const auto options = ParseOptions(args, WithRunOptions(kBedOptions), kRunFlags, fault);
  if (!options) return Refused(output, "bed", fault);
  const std::string chosen = options->Text("settings", "relief");
  if (chosen == "relief") {
    return RunBed<model3d::ReliefSettings>(*options, chosen, scenarios::kReliefDefaults, args,
                                           resume, output);
  }
  if (chosen == "map") {
    return RunBed<model3d::MapSettings>(*options, chosen, scenarios::kMapDefaults, args, resume,
                                        output);
  }
  return UsageFault(output, "bed: --settings takes relief or map, not " + QuoteValue(chosen));
}

}  // namespace kammelsim
