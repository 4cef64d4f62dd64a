// The one snapshot schedule that every per-snapshot output of a run follows.
#pragma once

#include <cstdint>

namespace kammelsim {

/// Snapshots at 0, every, 2 every, ... and at total when it is not a multiple of every.
struct SnapshotSchedule {
  std::int64_t total = 0;  ///< batches or steps of the run
  std::int64_t every = 1;  ///< 1..; a run without --every has every == max(total, 1)

  bool IsSnapshot(std::int64_t done) const { return done % every == 0 || done == total; }
  std::int64_t Count() const { return total / every + 1 + (total % every != 0); }
};

}  // namespace kammelsim
