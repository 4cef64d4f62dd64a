// One snapshot of a NetCDF data file kammelsim wrote, read without trusting the file: its
// header is held to what the runner writes, and only the one record is read.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/RippleStatistics.h"

namespace kammelsim {

/// The heights at batch or step time of the data file at path, for rows along the wind by
/// columns (a profile's file: columns 1). False with error, naming what is wrong (not the
/// file).
bool ReadNetcdfSnapshot(const std::string& path, std::int64_t time, std::int32_t rows,
                        std::int32_t columns, bool profile, analysis::Snapshot& heights,
                        std::string& error);

}  // namespace kammelsim
