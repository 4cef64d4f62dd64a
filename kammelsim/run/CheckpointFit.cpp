#include "kammelsim/run/CheckpointFit.h"

#include <algorithm>

#include "kammelsim/io/Bytes.h"

namespace kammelsim {
namespace {

// The sand of the run: a flat start's as its options make it, or that of the heights it
// started from, which the checkpoint holds in their stead.
std::int64_t Sand(const CheckpointData& data, const RunModel& model) {
  return data.initial.name.empty() ? io::Sand(model.cells) : data.initial.sand;
}

bool ArrayFits(const CheckpointData& data, const RunModel& model, std::string& why) {
  if (data.cells.size() != model.cells.size()) {
    why = "its array holds " + std::to_string(data.cells.size()) + " cells, where the run has " +
          std::to_string(model.cells.size());
  } else if (std::any_of(data.cells.begin(), data.cells.end(),
                         [](std::int32_t h) { return h < 0; })) {
    why = "its array holds a height below 0";
  } else if (const std::int64_t sand = Sand(data, model); io::Sand(data.cells) != sand) {
    why = "its array holds " + std::to_string(io::Sand(data.cells)) +
          " grains, where the run has " + std::to_string(sand);
  }
  return why.empty();
}

bool CarryFits(const CheckpointData& data, const analysis::Snapshot& shape, std::string& why) {
  const StatsCarry& carry = data.stats;
  const auto alongWind = static_cast<std::size_t>(shape.rows);
  const bool field = carry.previousField.empty() ||
                     (carry.rows == shape.rows && carry.columns == shape.columns &&
                      carry.previousField.size() == (alongWind - 1) * shape.columns);
  if (!field || carry.previousDone > data.done)
    why = "what its statistics carry is not of the run's bed, or ahead of it";
  return why.empty();
}

// Every text's bytes together: what the provenance lines of a statistics file are made of.
std::uint64_t TextBytes(const CheckpointData& d) {
  std::uint64_t bytes =
      d.version.size() + d.commandLine.size() + d.parameters.size() + d.runId.size();
  for (const std::string& line : d.history)
    bytes += line.size();
  return bytes;
}

// The counts of what every snapshot records: at least one per multiple of every so far, and
// at most one more per stretch (the end of a total that was no multiple).
bool CountsFit(const CheckpointData& data, const analysis::Snapshot& shape, std::int64_t every,
               std::string& why) {
  const std::int64_t least = data.done / every + 1;
  const std::int64_t most = least + static_cast<std::int64_t>(data.history.size()) + 1;
  const auto within = [&](std::int64_t count, bool kept) {
    return kept ? count >= least && count <= most : count == 0;
  };
  const auto rows = static_cast<std::int64_t>(data.spaceTime.rows.size());
  const bool rowsFit = std::all_of(
      data.spaceTime.rows.begin(), data.spaceTime.rows.end(),
      [&](const auto& row) { return row.size() == static_cast<std::size_t>(shape.rows); });
  // A row of the statistics file takes at most 512 bytes; its '#' lines at most four times
  // their texts (each byte that needs it written as \xNN), and 4096 for the rest.
  const std::uint64_t statsMost = 4 * TextBytes(data) + 64 * (data.history.size() + 16) +
                                  512 * static_cast<std::uint64_t>(most) + 4096;
  if (!within(data.netcdfRecords, !data.outputs.netcdf.empty())) {
    why = "it records " + std::to_string(data.netcdfRecords) +
          " snapshots in the data file, where " + std::to_string(data.done) + " " +
          "batches or steps make " + std::to_string(least) + " to " + std::to_string(most);
  } else if (!within(rows, !data.outputs.spacetime.empty()) || !rowsFit) {
    why = "its space-time rows are not those of its snapshots";
  } else if (data.hasStats != !data.outputs.stats.empty() || data.statsBytes < 0 ||
             static_cast<std::uint64_t>(data.statsBytes) > (data.hasStats ? statsMost : 0)) {
    why = "it records " + std::to_string(data.statsBytes) +
          " bytes of statistics, more than its snapshots can have written";
  }
  return why.empty();
}

}  // namespace

bool CheckpointFits(const CheckpointData& data, const RunModel& model, std::int64_t every,
                    std::string& why) {
  const analysis::Snapshot shape = model.bed();
  if (ArrayFits(data, model, why) && CarryFits(data, shape, why) &&
      CountsFit(data, shape, std::max<std::int64_t>(every, 1), why)) {
    return true;
  }
  why = "does not fit the run it records: " + why;
  return false;
}

}  // namespace kammelsim
