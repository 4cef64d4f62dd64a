#include "kammelsim/input/NetcdfSnapshot.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "kammelsim/io/Bytes.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/data/NetcdfFormat.h"
#include "kammelsim/output/data/NetcdfSchema.h"

namespace kammelsim {
namespace {

// Headers the runner writes stay far below this.
constexpr std::size_t kMostHeader = 16u << 20;

bool ReadHeader(io::File& file, cdf::Header& header, std::string& error) {
  std::string bytes;
  for (std::size_t want = 64u << 10;; want *= 4) {
    if (!file.ReadAt(0, want, bytes)) {
      error = io::Reason(file.Error());
      return false;
    }
    const cdf::Decoded decoded = cdf::Decode(bytes, header);
    if (decoded == cdf::Decoded::Whole) return true;
    if (decoded == cdf::Decoded::Foreign || bytes.size() < want || want >= kMostHeader) {
      error = "not a data file kammelsim writes (NetCDF, CDF-5)";
      return false;
    }
  }
}

std::int64_t Length(const cdf::Header& header, std::string_view name) {
  for (const cdf::Dimension& d : header.dimensions) {
    if (d.name == name) return d.length;
  }
  return 1;
}

// Whether the file holds heights of rows by columns, with or without statistics, placed as
// the runner places them: then every offset below is the runner's own.
bool OfThisBed(const cdf::Header& header, std::int32_t rows, std::int32_t columns, bool profile,
               std::string& error) {
  const analysis::Model model = profile ? analysis::Model::Profile : analysis::Model::Bed;
  for (const bool stats : {true, false}) {
    if (SameShape(header, {model, rows, columns, "", stats})) return true;
  }
  // A file another program wrote fails the shape too: its variables say so more plainly.
  const cdf::Header ours = DataFileHeader({model, rows, columns, "", false}, {});
  for (const cdf::Variable& want : ours.variables) {
    if (std::none_of(header.variables.begin(), header.variables.end(),
                     [&want](const cdf::Variable& v) { return v.name == want.name; })) {
      error = "its variables are not a kammelsim run's: it has no '" + want.name + "'";
      return false;
    }
  }
  error = "holds snapshots of " + std::to_string(Length(header, "x")) + " x " +
          std::to_string(Length(header, "y")) + " heights, where the run has " +
          std::to_string(rows) + " x " + std::to_string(columns);
  return false;
}

const cdf::Variable& Named(const cdf::Header& header, std::string_view name) {
  return *std::find_if(header.variables.begin(), header.variables.end(),
                       [name](const cdf::Variable& v) { return v.name == name; });
}

}  // namespace

bool ReadNetcdfSnapshot(const std::string& path, std::int64_t time, std::int32_t rows,
                        std::int32_t columns, bool profile, analysis::Snapshot& heights,
                        std::string& error) {
  io::File file;
  struct stat status {};
  if (!file.Open(path, O_RDONLY | O_NONBLOCK)) {
    error = io::Reason(file.Error());
    return false;
  }
  if (::fstat(file.Descriptor(), &status) != 0 || !S_ISREG(status.st_mode)) {
    error = "not a regular file";
    return false;
  }
  cdf::Header header;
  if (!ReadHeader(file, header, error) || !OfThisBed(header, rows, columns, profile, error))
    return false;
  const auto size = static_cast<std::int64_t>(status.st_size);
  const std::int64_t start = cdf::RecordStart(header), record = cdf::RecordSize(header);
  const std::int64_t whole = size > start ? (size - start) / record : 0;
  const std::int64_t records = std::min(header.records, whole);
  const cdf::Variable &times = Named(header, "time"), &height = Named(header, "height");
  const auto bytes = static_cast<std::size_t>(cdf::SizeOf(times.type));
  std::string chunk;
  for (std::int64_t r = 0; r < records; ++r) {
    if (!file.ReadAt(static_cast<std::uint64_t>(times.begin + r * record), bytes, chunk) ||
        chunk.size() < bytes) {
      error = io::Reason(file.Error());
      return false;
    }
    const std::uint64_t at = io::ReadBig(chunk, bytes);
    const auto value =
        bytes == 4 ? std::int64_t{static_cast<std::int32_t>(at)} : static_cast<std::int64_t>(at);
    if (value != time) continue;
    const auto cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
    if (!file.ReadAt(static_cast<std::uint64_t>(height.begin + r * record), cells * 4, chunk) ||
        chunk.size() < cells * 4) {
      error = io::Reason(file.Error());
      return false;
    }
    // x along the wind varies fastest in the file: its columns are the snapshot's rows.
    heights = {rows, columns, std::vector<std::int64_t>(cells)};
    for (std::size_t n = 0; n < cells; ++n) {
      const std::size_t x = n % static_cast<std::size_t>(rows), y = n / rows;
      heights.cells[x * columns + y] =
          static_cast<std::int32_t>(io::ReadBig32(std::string_view(chunk).substr(n * 4)));
    }
    return true;
  }
  error = "holds no snapshot at " + std::to_string(time) + " (it holds " + std::to_string(records) +
          " snapshots)";
  return false;
}

}  // namespace kammelsim
