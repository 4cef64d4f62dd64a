// When a run's outputs take their snapshots: each output on a schedule of its own, every one of
// them a subset of the run's one sorted list of snapshots (the union), always at 0 and the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kammelsim {

/// Snapshots every `every` batches or steps, or perDecade to a decade (10^(k/perDecade) rounded
/// to whole batches or steps, each once); both at 0 and at the run's end besides.
struct Schedule {
  std::int64_t every = 1;      ///< 1..; a run without --every has every == max(total, 1)
  std::int64_t perDecade = 0;  ///< 1..kMaxPerDecade for a logarithmic schedule; 0: linear

  static constexpr std::int64_t kMaxPerDecade = 1000;

  /// Whether done is on the schedule itself, the run's end aside.
  bool OnGrid(std::int64_t done) const;
  bool IsSnapshot(std::int64_t done, std::int64_t total) const {
    return done == total || OnGrid(done);
  }
  /// The first snapshot after done, at most total; total when done >= total.
  std::int64_t Next(std::int64_t done, std::int64_t total) const;
  /// The snapshots on the grid at 0..done.
  std::int64_t CountUpTo(std::int64_t done) const;
  /// Every snapshot of a run of total, its end included.
  std::int64_t Count(std::int64_t total) const {
    return CountUpTo(total) + (OnGrid(total) ? 0 : 1);
  }
  /// As the command line writes it: "10" or "log:20".
  std::string Text() const;
};

/// "E" (1..most) or "log:N" (1..Schedule::kMaxPerDecade); false for anything else.
bool ParseSchedule(std::string_view text, std::int64_t most, Schedule& schedule);

/// The schedules of one run: its statistics, its data file, and its pictures (frames and the
/// space-time view's rows).
struct SnapshotSchedule {
  std::int64_t total = 0;  ///< batches or steps of the run
  Schedule stats, netcdf, frames;

  bool IsSnapshot(std::int64_t done) const {
    return stats.IsSnapshot(done, total) || netcdf.IsSnapshot(done, total) ||
           frames.IsSnapshot(done, total);
  }
};

}  // namespace kammelsim
