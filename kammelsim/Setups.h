// What the bed, profile and stats commands make of their options, shared with the Python module
// so that both read, check, set up and measure alike: the parameters with their defaults,
// ranges and messages, a model set up with its view, and the statistics of heights alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/RippleStatistics.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/run/RunDriver.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace kammelsim {

/// The most batches or steps a bed or profile run takes.
inline constexpr std::int64_t kMaxRunLength = 1'000'000;

/// The options bed and profile take besides the run's own (kRunOptions).
std::span<const std::string_view> BedOptionNames();
std::span<const std::string_view> ProfileOptionNames();

/// A bed's parameters, its map's threshold and its run.
struct BedRun {
  model3d::RippleParams params;
  std::int32_t threshold;  ///< of the map's bright cells
  RunSettings run;
};

/// Whether --settings names one: relief or map; otherwise sets error.
bool KnownBedSettings(std::string_view settings, std::string& error);

/// A bed run's options read as kammelsim bed reads them, with the settings' defaults; on a
/// fault sets error. A resumed run takes its total from the checkpoint.
template <class Settings>
BedRun ReadBedRun(const ParsedOptions& options, const Resume* resume, std::string& error);

/// Every parameter of a bed run, as its outputs record them.
std::string BedParameters(std::string_view settings, const BedRun& bed);

/// The view of a bed as its settings' program draws it; threshold is the map's.
template <class Settings>
View BedView(model3d::BedState<Settings>& state, std::int32_t threshold);

/// What a run needs of a bed that is set up.
template <class Settings>
RunModel BedModel(model3d::BedState<Settings>& state, View view);

/// A profile's parameters and its run.
struct ProfileRun {
  model2d::ProfileParams params;
  RunSettings run;
};

/// A profile run's options read as kammelsim profile reads them; on a fault sets error.
ProfileRun ReadProfileRun(const ParsedOptions& options, const Resume* resume, std::string& error);

/// Every parameter of a profile run, as its outputs record them.
std::string ProfileParameters(const ProfileRun& profile);

/// What a run needs of a profile that kammel::SetUpProfile has set up, with its view.
RunModel ProfileModel(model2d::ProfileState& state);

/// The factors kammelsim stats measures heights with.
struct StatsFactors {
  double b = 2.0, wind = 5.0;
  std::int32_t q = 1;
  double interval = 1.0;  ///< batches or steps since --previous
};

/// The options kammelsim stats takes.
std::span<const std::string_view> StatsOptionNames();

/// The factors read as kammelsim stats reads them; on a fault sets error.
StatsFactors ReadStatsFactors(const ParsedOptions& options, std::string& error);

/// The most heights kammelsim stats measures: a bed's rows along the wind and columns across
/// it, or a profile's cells; as many as the largest run prints.
inline constexpr std::int64_t kMostRows = 1001, kMostColumns = 501, kMostCells = 10001;

/// Whether heights of rows by columns (one column: a profile) are within those; else sets
/// error.
bool HeightsFit(std::int64_t rows, std::int64_t columns, std::string& error);

/// The model heights belong to: a profile when they stand in one column, else a bed.
analysis::Model ModelOf(const analysis::Snapshot& heights);

/// The statistics of heights alone, against previous heights (of the same shape) when given,
/// with nothing known of the sand beyond them. Nothing, with error, for a previous of another
/// shape, or heights beyond HeightsFit.
std::optional<analysis::Measures> MeasureHeights(const analysis::Snapshot& now,
                                                 const analysis::Snapshot* previous,
                                                 const StatsFactors& factors, std::string& error);

}  // namespace kammelsim
