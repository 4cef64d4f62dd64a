// What the data file says: its dimensions, variables and attributes after the CF conventions,
// made from the run's shape and provenance.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/RippleStatistics.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/output/data/NetcdfFormat.h"

namespace kammelsim {

/// The shape of what a run records: x along the wind; a profile has no y.
struct NetcdfLayout {
  analysis::Model model;
  std::int32_t xCount, yCount;
  std::string unit;           ///< batches or steps
  bool stats;                 ///< whether each statistic gets a variable
  bool wideTime = true;       ///< time as a 64-bit integer; files before it have 32 bits
  std::int64_t speedLag = 1;  ///< of the speed's statistics; 0: every
};

/// The version of the file's layout, in its kammel_format attribute: 2 is this classic
/// (CDF-5) file with height(time, y, x); 1 was NetCDF-4 with height(time, x, y).
inline constexpr std::int32_t kKammelFormat = 2;

/// A parameter as the attribute parameter_NAME, numbers as numbers.
cdf::Attribute ParameterAttribute(const Parameter& parameter);

/// The header of a new data file: dimensions time (the records), y (bed only) and x; the
/// variables time, y, x, height and, with statistics, one per statistic; the provenance as
/// global attributes. Variables are not placed yet.
cdf::Header DataFileHeader(const NetcdfLayout& layout, const Provenance& provenance);

/// Whether a file's dimensions and variables are those layout makes, in the same order, and
/// placed as this runner places them: then records can be appended to it.
bool SameShape(const cdf::Header& file, const NetcdfLayout& layout);

}  // namespace kammelsim
