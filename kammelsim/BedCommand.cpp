// kammelsim bed: runs batches of the 3D model and prints the bed, one line per row; draws it
// as kammel3 or kammel3map would, when asked.
#include <memory>
#include <string>
#include <vector>

#include "kammel3/Relief.h"
#include "kammel3map/Map.h"
#include "kammelsim/BedSetup.h"
#include "kammelsim/Commands.h"
#include "kammelsim/InitialHeights.h"
#include "kammelsim/OpenMap.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/output/Heights.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Record.h"
#include "kammelsim/run/RunDriver.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

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

// Rows 0..L, each the W + 1 heights of that row, handed over about a MiB at a time.
template <class Settings>
bool BedPieces(const Bed<Settings>& bed, const TextSink& put) {
  const model3d::RippleParams& params = bed.params;
  std::vector<std::int32_t> row(static_cast<std::size_t>(params.layerWidth) + 1);
  std::string text;
  for (std::int32_t i = 0; i <= params.layerLength; ++i) {
    for (std::int32_t j = 0; j <= params.layerWidth; ++j)
      row[static_cast<std::size_t>(j)] = bed.grid.at(i, j);
    AppendHeightLine(text, row.data(), params.layerWidth + 1);
    if (text.size() >= (1u << 20)) {
      if (!put(text)) return false;
      text.clear();
    }
  }
  return text.empty() || put(text);
}

template <class Settings>
std::string BedText(const Bed<Settings>& bed) {
  std::string text;
  BedPieces(bed, [&text](std::string_view piece) {
    text += piece;
    return true;
  });
  return text;
}

// Rows 0..L of columns 0..W, where the array holds them.
template <class Settings>
analysis::ColumnHeights BedColumns(const Bed<Settings>& bed) {
  const auto& grid = bed.grid;
  const std::int32_t L = model3d::BedLength(bed), W = model3d::BedWidth(bed);
  return {L + 1, W + 1, &grid.cells[grid.Index(0, 0)],
          static_cast<std::ptrdiff_t>(grid.Index(0, 1) - grid.Index(0, 0))};
}

// The settings' program sets the bed up: its mapping and a new bed.
void SetUpBed(Bed<model3d::ReliefSettings>& state, const model3d::RippleParams& params) {
  kammel3::SetUpRelief(state, params);
}
void SetUpBed(Bed<model3d::MapSettings>& state, const model3d::RippleParams& params) {
  kammel3map::SetUpMap(state, params);
}

// A program's bed, set up as the program would, with the run's creep.
template <class Settings>
std::unique_ptr<Bed<Settings>> NewBed(const BedRun& bed, std::string&) {
  auto state = std::make_unique<Bed<Settings>>();  // large: off the stack
  SetUpBed(*state, bed.params);
  state->variant = bed.variant;
  return state;
}

template <>
std::unique_ptr<Bed<model3d::OpenSettings>> NewBed(const BedRun& bed, std::string& error) {
  return MakeOpenBed(bed, error);
}

// Whether a run draws pictures: as its options ask, or, continued, as its checkpoint records.
bool Drawn(const RunSettings& run, const Resume* resume) {
  if (resume) return !resume->data.outputs.png.empty() || !resume->data.outputs.frames.empty();
  return run.pictures.Drawn();
}

template <class Settings>
int RunBed(const ParsedOptions& options, std::span<const std::string> args, const Resume* resume,
           const RunOutput& output) {
  std::string error;
  params::Values values;
  BedRun bed{};
  using O = params::BedOptions<Settings>;
  if (!O::open && options.Has(params::kSchedule.name))
    error = "--schedule is for --settings open";
  else if (params::ReadWords(options, params::BedOptions<Settings>::all, values, error))
    bed = ReadBedRun<Settings>(values, resume, error);
  if (O::open && error.empty() && values.Has(O::threshold.name) && !Drawn(bed.run, resume))
    error = values.Named(O::threshold) + " is for an open bed's pictures (--png, --frames)";
  if (!error.empty()) return RunOptionFault(output, "bed", error, resume);
  analysis::Snapshot initial;
  const InitialShape shape{bed.params.layerLength + 1, bed.params.layerWidth + 1, false,
                           model3d::kMaxGrains};
  if (const int fault = ReadInitialHeights(bed.run, values, params::BedOptions<Settings>::height,
                                           shape, resume, output, "bed", initial))
    return fault;

  // An open bed is made first: one too large is refused before any output exists. The
  // programs' beds are set up after the driver, which opens the canvas they place themselves on.
  std::unique_ptr<Bed<Settings>> state;
  if constexpr (params::BedOptions<Settings>::open) {
    state = NewBed<Settings>(bed, error);
    if (!state) return RunOptionFault(output, "bed", error, resume);
  }
  RunDriver driver(bed.run, "bed", "batches", resume, output);
  if (const int fault = driver.Prepare(params::RecordedOptions(values.Words()), args)) return fault;
  if (!state) state = NewBed<Settings>(bed, error);
  // An open bed is placed on the canvas the driver opened, as the map places its own.
  if (O::open && Drawn(bed.run, resume)) kammel3map::PlaceMap(bed.params);
  if (!initial.cells.empty()) PutHeights(*state, initial);
  return driver.Run(BedModel(*state, BedView(*state, bed.threshold)), bed.parameters);
}

}  // namespace

namespace {

// The creep the options ask for; recorded only where it is not the programs'.
model3d::CreepVariant ReadCreepVariant(const params::Values& values, params::Record& record) {
  model3d::CreepVariant variant;
  const std::string ties = values.Text(params::kTies);
  variant.ties = ties == "random"        ? model3d::TieRule::random
                 : ties == "alternating" ? model3d::TieRule::alternating
                                         : model3d::TieRule::firstInOrder;
  variant.periodic = values.Text(params::kPeriodic) == "yes";
  if (variant.ties != model3d::TieRule::firstInOrder) record.Keep(params::kTies, ties);
  if (variant.periodic) record.Keep(params::kPeriodic, std::string("yes"));
  return variant;
}

}  // namespace

template <class Settings>
void PutHeights(Bed<Settings>& state, const analysis::Snapshot& heights) {
  for (std::int32_t i = 0; i < heights.rows; ++i) {
    for (std::int32_t j = 0; j < heights.columns; ++j)
      state.grid.at(i, j) = static_cast<std::int32_t>(heights.At(i, j));
  }
}

template <class Settings>
BedRun ReadBedRun(const params::Values& values, const Resume* resume, std::string& error) {
  using O = params::BedOptions<Settings>;
  params::Record record;
  BedRun bed{};
  auto& p = bed.params;
  record.Keep(params::kSettings, std::string(O::open ? "open" : O::map ? "map" : "relief"));
  bed.schedule = values.Text(params::kSchedule) == "relief" ? model3d::Schedule::relief
                                                            : model3d::Schedule::map;
  if (O::open) record.Keep(params::kSchedule, values.Text(params::kSchedule));
  const auto integer = [&](const params::Option& option) {
    return record.Keep(option, static_cast<std::int32_t>(values.Integer(option)));
  };
  p.layerLength = integer(O::length);
  p.layerWidth = integer(O::width);
  p.layerHeight = integer(O::height);
  p.factorB = record.Keep(O::b, values.Real(O::b));
  p.windStrength = record.Keep(O::wind, values.Real(O::wind));
  p.factorQ = integer(O::q);
  bed.threshold = static_cast<std::int32_t>(values.Integer(O::threshold, p.layerHeight + 1));
  const std::int64_t total =
      record.Keep(O::batches, resume ? resume->data.total : values.Integer(O::batches));
  bed.variant = ReadCreepVariant(values, record);
  bed.run = ReadRunSettings(values, total, record, error);
  // Recorded where it draws: always on the map, on an open bed when it is drawn.
  if (O::map || (O::open && Drawn(bed.run, resume))) record.Keep(O::threshold, bed.threshold);
  if (!O::map && !O::open && values.Has(O::threshold.name) && error.empty())
    error = values.Named(O::threshold) + " is for " + values.Named(params::kSettings) + " map";
  bed.parameters = record.Parameters(O::all);
  return bed;
}

std::unique_ptr<Bed<model3d::OpenSettings>> MakeOpenBed(const BedRun& bed, std::string& error) {
  auto state = std::make_unique<Bed<model3d::OpenSettings>>();
  state->params = bed.params;
  if (!model3d::MakeOpenGrid(*state, bed.schedule)) {
    const std::int64_t bytes =
        model3d::OpenGridBytes(bed.params.layerLength, bed.params.layerWidth);
    error = "no memory for a bed of " + std::to_string(bed.params.layerLength) + " x " +
            std::to_string(bed.params.layerWidth) + " (" + std::to_string(bytes >> 20) +
            " MiB of heights)";
    return nullptr;
  }
  state->variant = bed.variant;
  model3d::InitRippleGrid(*state);
  return state;
}

template <>
View BedView(Bed<model3d::OpenSettings>& state, std::int32_t threshold) {
  return {
      [&state, threshold](common::Random& sparkle) { RedrawOpenMap(state, threshold, sparkle); },
      [&state] { return RowMeans(state); }, [&state] { kammel3map::PlaceMap(state.params); }};
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
          {state.grid.cells, static_cast<std::size_t>(state.grid.size)},
          state.random,
          std::move(view),
          [&state] { return BedSnapshot(state); },
          [p](std::int32_t h) { return model3d::JumpLengthFor(h, p.factorB, p.windStrength); },
          p.factorQ,
          [&state] { return BedText(state); },
          // The creep sweeps since the start, which alternating ties go by.
          [&state](std::int64_t done) {
            const std::int64_t perBatch = std::int64_t{state.grid.cyclesPerBatch} *
                                          state.grid.creepSweepsPerWidth * BedWidth(state);
            state.creepSweeps = static_cast<std::uint64_t>(done * perBatch);
          },
          [&state] { return BedColumns(state); },
          [&state](const TextSink& put) { return BedPieces(state, put); }};
}

template BedRun ReadBedRun<model3d::ReliefSettings>(const params::Values&, const Resume*,
                                                    std::string&);
template BedRun ReadBedRun<model3d::MapSettings>(const params::Values&, const Resume*,
                                                 std::string&);
template void PutHeights(Bed<model3d::ReliefSettings>&, const analysis::Snapshot&);
template void PutHeights(Bed<model3d::MapSettings>&, const analysis::Snapshot&);
template void PutHeights(Bed<model3d::OpenSettings>&, const analysis::Snapshot&);
template RunModel BedModel(Bed<model3d::ReliefSettings>&, View);
template RunModel BedModel(Bed<model3d::MapSettings>&, View);
template BedRun ReadBedRun<model3d::OpenSettings>(const params::Values&, const Resume*,
                                                  std::string&);
template RunModel BedModel(Bed<model3d::OpenSettings>&, View);

int RunBedCommand(std::span<const std::string> args, const RunOutput& output,
                  const Resume* resume) {
  std::string error;
  OptionFault fault;
  // The open bed's table names every bed option; which applies is the settings' to say.
  const auto options = ParseOptions(args, params::BedOptions<model3d::OpenSettings>::all, fault);
  if (!options)
    return resume ? RunOptionFault(output, "bed", fault.message, resume)
                  : Refused(output, "bed", fault);
  params::Values settings;
  if (!params::ReadWords(*options, {&params::kSettings, 1}, settings, error))
    return RunOptionFault(output, "bed", error, resume);
  const std::string chosen = settings.Text(params::kSettings);
  if (chosen == "open") return RunBed<model3d::OpenSettings>(*options, args, resume, output);
  return chosen == "map" ? RunBed<model3d::MapSettings>(*options, args, resume, output)
                         : RunBed<model3d::ReliefSettings>(*options, args, resume, output);
}

}  // namespace kammelsim
