// What a run is asked to do besides its model's parameters: its length and snapshots, its seed,
// and its outputs.
#pragma once

#include <cstdint>
#include <string>

#include "kammelsim/output/Provenance.h"
#include "kammelsim/output/pictures/Pictures.h"
#include "kammelsim/run/Snapshots.h"

namespace kammelsim {

struct RunSettings {
  SnapshotSchedule schedule;
  bool seedGiven = false;
  std::uint32_t seed = 0;
  PictureOptions pictures;
  std::string stats;       ///< the statistics file; empty: none
  std::string netcdf;      ///< the data file; empty: none
  std::string checkpoint;  ///< the checkpoint file; empty: none
  /// Seconds between checkpoints at least (0: at every snapshot); one is written at the start,
  /// at the end and at a stop whatever the interval.
  std::int64_t checkpointInterval = 60;
  std::string heights;  ///< the final heights' file; empty: standard output
  std::string initial;  ///< --initial as given; empty: a flat start
  /// The heights the run starts from as its outputs record them, once read.
  InitialRecord initialRecord;
  bool force = false;  ///< replace outputs that exist
};

}  // namespace kammelsim
