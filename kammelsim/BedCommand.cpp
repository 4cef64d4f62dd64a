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
#include "kammelsim/Setups.h"
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

template <class Settings>
constexpr const model3d::RippleParams& Defaults();
template <>
constexpr const model3d::RippleParams& Defaults<model3d::ReliefSettings>() {
  return scenarios::kReliefDefaults;
}
template <>
constexpr const model3d::RippleParams& Defaults<model3d::MapSettings>() {
  return scenarios::kMapDefaults;
}

template <class Settings>
using Bed = model3d::BedState<Settings>;

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

// The settings' program sets the bed up: its mapping and a new bed.
void SetUpBed(Bed<model3d::ReliefSettings>& state, const model3d::RippleParams& params) {
  kammel3::SetUpRelief(state, params);
}
void SetUpBed(Bed<model3d::MapSettings>& state, const model3d::RippleParams& params) {
  kammel3map::SetUpMap(state, params);
}

template <class Settings>
int RunBed(const ParsedOptions& options, std::string_view settings,
           std::span<const std::string> args, const Resume* resume, const RunOutput& output) {
  std::string error;
  const BedRun bed = ReadBedRun<Settings>(options, resume, error);
  if (!error.empty()) return RunOptionFault(output, "bed", error, resume);

  RunDriver driver(bed.run, "bed", "batches", resume, output);
  if (const int fault = driver.Prepare(RecordedOptions(options.Canonical()), args)) return fault;
  const auto state = std::make_unique<Bed<Settings>>();  // large: off the stack
  SetUpBed(*state, bed.params);
  return driver.Run(BedModel(*state, BedView(*state, bed.threshold)), BedParameters(settings, bed));
}

}  // namespace

std::span<const std::string_view> BedOptionNames() {
  return kBedOptions;
}

bool KnownBedSettings(std::string_view settings, std::string& error) {
  if (settings == "relief" || settings == "map") return true;
  error = "--settings takes relief or map, not " + QuoteValue(settings);
  return false;
}

template <class Settings>
BedRun ReadBedRun(const ParsedOptions& options, const Resume* resume, std::string& error) {
  const model3d::RippleParams& defaults = Defaults<Settings>();
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
  const std::int64_t batches = IntegerOption(options, "batches", 1, 0, kMaxRunLength, error);
  bed.run = ReadRunSettings(options, resume ? resume->data.total : batches, error);
  if (std::is_same_v<Settings, model3d::ReliefSettings> && options.Has("threshold") &&
      error.empty()) {
    error = "--threshold is for --settings map";
  }
  return bed;
}

std::string BedParameters(std::string_view settings, const BedRun& bed) {
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

template <>
View BedView(Bed<model3d::ReliefSettings>& state, std::int32_t) {
  return {[&state](common::Random&) { kammel3::RedrawRelief(state); },
          [&state] { return RowMeans(state); }, [&state] { kammel3::PlaceRelief(state.params); }};
}

template <>
View BedView(Bed<model3d::MapSettings>& state, std::int32_t threshold) {
  return {[&state, threshold](common::Random& sparkle) {
            kammel3map::RedrawMap(state, threshold, sparkle);
          },
          [&state] { return RowMeans(state); }, [&state] { kammel3map::PlaceMap(state.params); }};
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

template BedRun ReadBedRun<model3d::ReliefSettings>(const ParsedOptions&, const Resume*,
                                                    std::string&);
template BedRun ReadBedRun<model3d::MapSettings>(const ParsedOptions&, const Resume*, std::string&);
template RunModel BedModel(Bed<model3d::ReliefSettings>&, View);
template RunModel BedModel(Bed<model3d::MapSettings>&, View);

int RunBedCommand(std::span<const std::string> args, const RunOutput& output,
                  const Resume* resume) {
  std::string error;
  OptionFault fault;
  const auto options = ParseOptions(args, WithRunOptions(kBedOptions), kRunFlags, fault);
  if (!options)
    return resume ? RunOptionFault(output, "bed", fault.message, resume)
                  : Refused(output, "bed", fault);
  const std::string chosen = options->Text("settings", "relief");
  if (!KnownBedSettings(chosen, error))
    return RunOptionFault(output, "bed", options->From("settings", chosen) + error, resume);
  return chosen == "map" ? RunBed<model3d::MapSettings>(*options, chosen, args, resume, output)
                         : RunBed<model3d::ReliefSettings>(*options, chosen, args, resume, output);
}

}  // namespace kammelsim
