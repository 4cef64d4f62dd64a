// The statistics of heights alone, as kammelsim stats and kammel.statistics measure them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/RippleStatistics.h"
#include "kammelsim/input/HeightsText.h"
#include "kammelsim/params/Reader.h"

namespace kammelsim {

/// The factors heights are measured with.
struct StatsFactors {
  double b = 2.0, wind = 5.0;
  std::int32_t q = 1;
  double interval = 1.0;  ///< batches or steps since --previous
};

/// The factors from checked values (params::StatsOptions); on a fault sets error.
StatsFactors ReadStatsFactors(const params::Values& values, std::string& error);

/// The model heights belong to: a profile when they stand in one column, else a bed.
analysis::Model ModelOf(const analysis::Snapshot& heights);

/// The statistics of heights alone, against previous heights (of the same shape) when given,
/// with nothing known of the sand beyond them. Nothing, with error, for a previous of another
/// shape, or heights beyond HeightsFit.
std::optional<analysis::Measures> MeasureHeights(const analysis::Snapshot& now,
                                                 const analysis::Snapshot* previous,
                                                 const StatsFactors& factors, std::string& error);

}  // namespace kammelsim
