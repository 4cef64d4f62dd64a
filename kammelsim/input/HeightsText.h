// Heights as text, the way kammelsim bed and profile print them: the integers of one row on
// one line, a bed's rows one after another, a profile's cells on one line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// A bed's heights column by column in 4-byte cells, as its statistics measure them in place.
struct HeightsColumns {
  int rows = 0, columns = 0;
  std::vector<std::int32_t> cells;

  analysis::ColumnHeights View() const { return {rows, columns, cells.data(), rows}; }
};

/// The heights of text as ReadHeightsText reads them, parsed once straight into columns, when
/// they are a bed measured in bounded memory (analysis::Bounded) and every line is plain
/// integers; nothing otherwise, for ReadHeightsText to read or refuse. text ends in a NUL.
std::optional<HeightsColumns> ReadLargeBed(const std::string& text);
/// The same for the regular file at path, read a piece at a time, so that its text is never
/// held whole: nothing for a file of fewer bytes than smallest (not worth reading twice) or
/// more than limit, or one that cannot be read, for the caller to read whole.
std::optional<HeightsColumns> ReadLargeBedFile(const std::string& path, std::uint64_t limit,
                                               std::uint64_t smallest = 16u << 20);

/// A snapshot's heights column by column.
HeightsColumns ColumnsOf(const analysis::Snapshot& snapshot);

/// Whether heights of rows by columns (one column: a profile) are within params::kMostRows,
/// kMostColumns and kMostCells; else sets error.
bool HeightsFit(std::int64_t rows, std::int64_t columns, std::string& error);

}  // namespace kammelsim
