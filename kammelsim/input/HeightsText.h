// Heights as text, the way kammelsim bed and profile print them: the integers of one row on
// one line, a bed's rows one after another, a profile's cells on one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/RippleStatistics.h"

namespace kammelsim {

/// Heights read from text: a line per row, as many heights on each as on the first.
struct HeightsText {
  analysis::Snapshot snapshot;  ///< rows: the lines; columns: the heights of each
  std::string error;            ///< where the text is not heights, for the user
};

/// Reads every line's integers, held to HeightsFit as they come; error says the first line
/// and column that is no height, or the size beyond what a run prints.
HeightsText ReadHeightsText(std::string_view text);

/// Whether heights of rows by columns (one column: a profile) are within params::kMostRows,
/// kMostColumns and kMostCells; else sets error.
bool HeightsFit(std::int64_t rows, std::int64_t columns, std::string& error);

}  // namespace kammelsim
