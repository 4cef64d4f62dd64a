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
  if (CellCount(data) != model.cells.size()) {
    why = "its array holds " + std::to_string(CellCount(data)) + " cells, where the run has " +
          std::to_string(model.cells.size());
    return false;
  }
  // One pass over an array that may be read from the file as it goes.
  bool negative = false;
  std::int64_t held = 0;
  const bool read = VisitCells(data, [&](std::span<const std::int32_t> cells) {
    negative = negative || std::any_of(cells.begin(), cells.end(), [](auto h) { return h < 0; });
    held += io::Sand(cells);
  });
  if (!read) {
    why = kChangedWhileRead;
  } else if (negative) {
    why = "its array holds a height below 0";
  } else if (const std::int64_t sand = Sand(data, model); held != sand) {
    why = "its array holds " + std::to_string(held) + " grains, where the run has " +
          std::to_string(sand);
  }
  return why.empty();
}

// A bed's rows and columns, read without a copy of it where the model can.
struct Shape {
  int rows = 0, columns = 0;
};

Shape ShapeOf(const RunModel& model) {
  if (model.columns) {
    const analysis::ColumnHeights heights = model.columns();
    return {heights.rows, heights.columns};
  }
  const analysis::Snapshot bed = model.bed();
  return {bed.rows, bed.columns};
}

bool CarryFits(const CheckpointData& data, analysis::Model kind, const Shape& shape,
               std::string& why) {
  const StatsCarry& carry = data.stats;
  const bool field =
      carry.previousField.empty() || (carry.rows == shape.rows && carry.columns == shape.columns &&
                                      static_cast<std::int64_t>(carry.previousField.size()) ==
                                          analysis::FieldValues(kind, shape.rows, shape.columns));
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

// The counts of what every snapshot records: at least one per snapshot of its output's
// schedule so far, and at most one more per stretch (the end of a total off the schedule).
bool CountsFit(const CheckpointData& data, const Shape& shape, const SnapshotSchedule& schedule,
               std::string& why) {
  const auto stretches = static_cast<std::int64_t>(data.history.size()) + 1;
  const auto least = [&](const Schedule& s) { return s.CountUpTo(data.done); };
  const auto within = [&](std::int64_t count, bool kept, const Schedule& s) {
    return kept ? count >= least(s) && count <= least(s) + stretches : count == 0;
  };
  const std::int64_t most = least(schedule.stats) + stretches;
  const auto rows = static_cast<std::int64_t>(data.spaceTime.rows.size());
  const bool rowsFit = std::all_of(
      data.spaceTime.rows.begin(), data.spaceTime.rows.end(),
      [&](const auto& row) { return row.size() == static_cast<std::size_t>(shape.rows); });
  // A row of the statistics file takes at most 512 bytes; its '#' lines at most four times
  // their texts (each byte that needs it written as \xNN), and 4096 for the rest.
  const std::uint64_t statsMost = 4 * TextBytes(data) + 64 * (data.history.size() + 16) +
                                  512 * static_cast<std::uint64_t>(most) + 4096;
  if (!within(data.netcdfRecords, !data.outputs.netcdf.empty(), schedule.netcdf)) {
    why = "it records " + std::to_string(data.netcdfRecords) +
          " snapshots in the data file, where " + std::to_string(data.done) + " " +
          "batches or steps make " + std::to_string(least(schedule.netcdf)) + " to " +
          std::to_string(least(schedule.netcdf) + stretches);
  } else if (!within(rows, !data.outputs.spacetime.empty(), schedule.frames) || !rowsFit) {
    why = "its space-time rows are not those of its snapshots";
  } else if (data.hasStats != !data.outputs.stats.empty() || data.statsBytes < 0 ||
             static_cast<std::uint64_t>(data.statsBytes) > (data.hasStats ? statsMost : 0)) {
    why = "it records " + std::to_string(data.statsBytes) +
          " bytes of statistics, more than its snapshots can have written";
  }
  return why.empty();
}

}  // namespace

bool CheckpointFits(const CheckpointData& data, const RunModel& model,
                    const SnapshotSchedule& schedule, std::string& why) {
  const Shape shape = ShapeOf(model);
  if (ArrayFits(data, model, why) && CarryFits(data, model.kind, shape, why) &&
      CountsFit(data, shape, schedule, why)) {
    return true;
  }
  why = "does not fit the run it records: " + why;
  return false;
}

}  // namespace kammelsim
