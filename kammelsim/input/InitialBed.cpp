#include "kammelsim/input/InitialBed.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <optional>
#include <vector>

#include "kammelsim/input/HeightsText.h"
#include "kammelsim/input/NetcdfSnapshot.h"
#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/output/Heights.h"
#include "kammelsim/output/Messages.h"

namespace kammelsim {
namespace {

// The largest bed printed takes 2.5 MB; room for blanks besides.
constexpr std::uint64_t kMostBytes = 16u << 20;

// The K of "FILE:K", when name ends so.
std::optional<std::int64_t> RecordOf(const std::string& name, std::string& path) {
  const std::size_t colon = name.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == name.size() ||
      name.size() - colon > 16 ||
      name.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
    return std::nullopt;
  }
  path = name.substr(0, colon);
  return std::stoll(name.substr(colon + 1));
}

// The text without the blank lines after its last height, as an editor may leave them; a blank
// line between rows stays, and is refused.
std::string_view WithoutTrailingBlankLines(std::string_view text) {
  const std::size_t last = text.find_last_not_of(" \t\n");
  if (last == std::string_view::npos) return text;
  const std::size_t newline = text.find('\n', last);
  return newline == std::string_view::npos ? text : text.substr(0, newline + 1);
}

bool ReadText(const std::string& path, bool profile, InitialBed& bed, std::string& error) {
  std::string bytes;
  if (const io::ReadFault fault = io::ReadWholeFile(path, kMostBytes, bytes);
      fault != io::ReadFault::None) {
    error = "cannot read " + QuoteFile(path) + ": " + io::ReadFaultReason(fault, kMostBytes);
    return false;
  }
  if (bytes.starts_with("CDF")) {
    error = QuoteFile(path) + ": a data file; name its snapshot as " + QuoteFile(path + ":K") +
            ", K the batch or step";
    return false;
  }
  HeightsText text = ReadHeightsText(WithoutTrailingBlankLines(bytes));
  if (!text.error.empty()) {
    error = QuoteFile(path) + ": " + text.error;
    return false;
  }
  analysis::Snapshot& s = text.snapshot;
  if (profile && s.rows != 1) {
    error = QuoteFile(path) + ": " + std::to_string(s.rows) +
            " lines, where a profile's heights stand on one";
    return false;
  }
  if (profile) std::swap(s.rows, s.columns);
  bed.heights = std::move(s);
  bed.record.crc = io::Crc32(bytes);
  return true;
}

std::string Counted(std::int64_t count, const std::string& one) {
  return std::to_string(count) + " " + one + (count == 1 ? "" : "s");
}

std::string Shape(const analysis::Snapshot& heights, bool profile) {
  if (profile) return Counted(heights.rows, "cell");
  return Counted(heights.rows, "row") + " of " + Counted(heights.columns, "cell");
}

// Where in the heights a cell lies, as a reader of the file counts.
std::string Where(const analysis::Snapshot& heights, std::vector<std::int64_t>::const_iterator cell,
                  const InitialShape& shape) {
  const auto at = cell - heights.cells.begin();
  if (shape.profile) return "cell " + std::to_string(at);
  return "row " + std::to_string(at / shape.columns) + ", column " +
         std::to_string(at % shape.columns);
}

}  // namespace

bool ReadInitial(const std::string& name, const InitialShape& shape, InitialBed& bed,
                 std::string& error) {
  std::string path = name;
  const std::optional<std::int64_t> time = RecordOf(name, path);
  if (time) {
    std::string why;
    if (!ReadNetcdfSnapshot(path, *time, shape.rows, shape.columns, shape.profile, bed.heights,
                            why)) {
      error = QuoteFile(path) + ": " + why;
      return false;
    }
    bed.record.crc = InitialCrc(bed.heights, shape.profile);
  } else if (!ReadText(path, shape.profile, bed, error)) {
    return false;
  }
  if (!CheckInitial(bed.heights, shape, error)) {
    error = QuoteFile(name) + ": " + error;
    return false;
  }
  bed.record.name = name;
  bed.record.sand = InitialSand(bed.heights);
  return true;
}

bool CheckInitial(const analysis::Snapshot& heights, const InitialShape& shape,
                  std::string& error) {
  const std::int64_t cells = std::int64_t{shape.rows} * shape.columns;
  const analysis::Snapshot wanted{shape.rows, shape.columns, {}};
  if (heights.rows != shape.rows || heights.columns != shape.columns ||
      std::ssize(heights.cells) != cells) {
    error = Shape(heights, shape.profile) + ", where the " + (shape.profile ? "profile" : "bed") +
            " has " + Shape(wanted, shape.profile);
    return false;
  }
  const auto low = std::find_if(heights.cells.begin(), heights.cells.end(),
                                [](std::int64_t h) { return h < 0; });
  if (low != heights.cells.end()) {
    error = "height " + std::to_string(*low) + " below 0 at " + Where(heights, low, shape);
    return false;
  }
  // No height alone above the most sand, so that the sum cannot overflow.
  const std::int64_t most = cells * shape.most;
  const std::string limit =
      std::to_string(most) + " (" + std::to_string(shape.most) + " a cell, the deepest flat start)";
  if (std::any_of(heights.cells.begin(), heights.cells.end(),
                  [most](std::int64_t h) { return h > most; })) {
    error = "a height of more than " + limit;
    return false;
  }
  if (const std::int64_t sand = InitialSand(heights); sand > most) {
    error = std::to_string(sand) + " grains, more than " + limit;
    return false;
  }
  // A large bed's sand may exceed what one cell holds: no height is cut to 32 bits.
  const auto high = std::find_if(heights.cells.begin(), heights.cells.end(),
                                 [](std::int64_t h) { return h > INT32_MAX; });
  if (high != heights.cells.end()) {
    error = "height " + std::to_string(*high) + " at " + Where(heights, high, shape) +
            ", more than a cell holds (" + std::to_string(INT32_MAX) + ")";
    return false;
  }
  return true;
}

std::string InitialText(const analysis::Snapshot& heights, bool profile) {
  const int lines = profile ? 1 : heights.rows, count = profile ? heights.rows : heights.columns;
  std::vector<std::int32_t> line(static_cast<std::size_t>(count));
  std::string text;
  for (int n = 0; n < lines; ++n) {
    for (int c = 0; c < count; ++c)
      line[static_cast<std::size_t>(c)] =
          static_cast<std::int32_t>(heights.cells[static_cast<std::size_t>(n) * count + c]);
    AppendHeightLine(text, line.data(), count);
  }
  return text;
}

std::uint32_t InitialCrc(const analysis::Snapshot& heights, bool profile) {
  return io::Crc32(InitialText(heights, profile));
}

std::int64_t InitialSand(const analysis::Snapshot& heights) {
  return std::accumulate(heights.cells.begin(), heights.cells.end(), std::int64_t{0});
}

}  // namespace kammelsim
