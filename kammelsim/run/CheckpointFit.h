// Whether a checkpoint holds a state its run could have reached: the one check that a resume
// and the Python module's load make of a checkpoint against the model its options set up.
#pragma once

#include <cstdint>
#include <string>

#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelsim {

/// Whether data fits model, freshly set up from data's options, with its outputs' schedules: the
/// array is the model's, of its size, with its sand and no height below zero (saltation and creep
/// move grains, never make or lose one); what the statistics carry is of the model's shape and not
/// ahead of the run; and every recorded count and length (the data file's records, the space-time
/// rows, the statistics file's bytes) is what the snapshots so far can have made, so that none is
/// trusted further than that before it is read. False with the rest of a line naming the file in
/// why ("does not fit the run it records: ...").
bool CheckpointFits(const CheckpointData& data, const RunModel& model,
                    const SnapshotSchedule& schedule, std::string& why);

}  // namespace kammelsim
