// A bed run as kammelsim bed and kammel.Bed set it up: its options read, its model and view.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/output/Provenance.h"
#include "kammelsim/params/Reader.h"
#include "kammelsim/run/RunDriver.h"
#include "model3d/RippleModel.h"

namespace kammelsim {

/// A bed's parameters, its map's threshold, its creep and its run.
struct BedRun {
  model3d::RippleParams params;
  std::int32_t threshold;  ///< of the map's bright cells
  model3d::CreepVariant variant;
  model3d::Schedule schedule;  ///< of an open bed
  RunSettings run;
  std::vector<Parameter> parameters;  ///< every parameter, as its outputs record them
};

/// The bed options' table for these settings: relief, map or open; nullptr for any other, with
/// error set.
params::Table BedTable(std::string_view settings, std::string& error);

/// A bed run from checked values (params::BedOptions<Settings>), with the settings' defaults;
/// on a fault between options sets error. A resumed run takes its total from the checkpoint.
template <class Settings>
BedRun ReadBedRun(const params::Values& values, const Resume* resume, std::string& error);

/// The view of a bed as its settings' program draws it; threshold is the map's.
template <class Settings>
View BedView(model3d::BedState<Settings>& state, std::int32_t threshold);

/// A new open bed of the run's size, schedule and creep, initialised; null, with error set to
/// one line, when its array cannot be had.
std::unique_ptr<model3d::BedState<model3d::OpenSettings>> MakeOpenBed(const BedRun& bed,
                                                                      std::string& error);

/// Puts heights (rows 0..L by columns 0..W, checked by CheckInitial) on a bed that is set up.
template <class Settings>
void PutHeights(model3d::BedState<Settings>& state, const analysis::Snapshot& heights);

/// What a run needs of a bed that is set up.
template <class Settings>
RunModel BedModel(model3d::BedState<Settings>& state, View view);

}  // namespace kammelsim
